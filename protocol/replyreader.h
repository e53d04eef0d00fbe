#pragma once

#include "protocol/coreprotocol.h"
#include "protocol/framereader.h"

// Reads reply frames (core -> player).
class ReplyReader : public FrameReader
{
public:
    ReplyReader()
        : FrameReader(Kind::Reply)
    { }

    Status next(CoreReply &reply) { return nextFrame(reply.type, reply.rows); }
};
