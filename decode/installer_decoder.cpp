#include "decode/installer_decoder.h"

DecoderState installer_decoder;

void installer_source::Reset() {
    ResetByteSource(installer_decoder.source);
}

void installer_sink::Reset() {
    ResetByteSink(installer_decoder.sink);
}

bool SinkWriteFailed() {
    return SinkWriteFailed(installer_decoder.sink);
}
