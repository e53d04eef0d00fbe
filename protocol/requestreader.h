#pragma once

#include "protocol/coreprotocol.h"
#include "protocol/framereader.h"

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
