#include "fuzzframes.h"

#include "protocol/replyreader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzzFrames<ReplyReader, CoreReply>(
        data, size, [](const CoreReply &reply) { return CoreProtocol::encodeReply(reply.type, reply.rows); });
}
