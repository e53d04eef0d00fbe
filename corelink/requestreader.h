#pragma once

#include "corelink/coreprotocol.h"
#include "corelink/framereader.h"

// Reads request frames (player -> core).
class RequestReader : public FrameReader
{
public:
    RequestReader()
        : FrameReader(Kind::Request)
    { }

    Status next(CoreRequest &request)
    {
        QList<QStringList> rows;
        const Status status = nextFrame(request.type, rows);
        if (status == FrameReady)
            request.arguments = rows.takeFirst();
        return status;
    }
};
