// The installer's one decoder: a zero-initialised DecoderState that lives as long as the
// process. ByteSource, WritePtr, SinkWriteFailed and LzhDecoder over FILE* (decode/byte_source.h,
// byte_sink.h, lzh_decoder.h) serve this instance, each one's call with all arguments zero its
// reset; the installer's extraction resets it through them and restores with it over its own
// handle calls (decode/member_extraction.cpp). Only one member is restored at a time. It sits in
// zeroed memory at load time, never in the file.
#pragma once

#include "decode/lzh_decoder.h"

extern DecoderState installer_decoder;
