#pragma once

#include "corelink/coreprotocol.h"
#include "corelink/framereader.h"

// Reads reply frames (core -> player).
class ReplyReader : public FrameReader
{
public:
    ReplyReader()
        : FrameReader(Kind::Reply)
    { }

    Status next(CoreReply &reply) { return nextFrame(reply.type, reply.rows); }
};
