#include "fuzzframes.h"

#include "protocol/requestreader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzzFrames<RequestReader, CoreRequest>(data, size, [](const CoreRequest &request) {
        return CoreProtocol::encodeRequest(request.type, request.arguments);
    });
}
