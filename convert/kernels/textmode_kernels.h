#pragma once

// The text-mode reading rules as a template over the instruction set
// (isa.h). Internal to the converters library.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "convert/bytescan.h"
#include "convert/kernels/isa.h"
#include "convert/kernels/kernels.h"

namespace textmodekernels {
inline namespace GLYPHMILL_ISA_NS {

using bytescan::kChunk;
using bytescan::kCR;
using bytescan::kCtrlZ;
using bytescan::kLF;

// Bytes only move towards the front, and no store reaches a byte not yet
// loaded. Most text has no CR at all, or one CR LF pair per line: chunks
// without CR or Ctrl-Z are moved whole (or left where they are, until the
// first dropped CR), and chunks with pairs drop their CRs in one compaction.
// A chunk needs the byte after it to pair its last CR; a Ctrl-Z, and the last
// bytes, go byte by byte. With kDropEveryCR (the -u job fused into the read)
// every CR goes, paired or not, and none is left pending.
template <typename V, bool kDropEveryCR = false>
TextModeStop Translate(const unsigned char* in, const unsigned char* end, unsigned char* out)
{
    while (end - in > kChunk) {
        const uint64_t cr = V::template Equal64<kCR>(in);
        const uint64_t ctrlZ = V::template Equal64<kCtrlZ>(in);
        if ((cr | ctrlZ) == 0) {
            if (out != in) {
                std::memmove(out, in, kChunk);
            }
            in += kChunk;
            out += kChunk;
            continue;
        }
        if (ctrlZ != 0) {
            break;
        }
        out = V::Compact64(out, in, kDropEveryCR ? cr : cr & V::template Equal64<kLF>(in + 1));
        in += kChunk;
    }
    for (; in < end; ++in) {
        const unsigned char byte = *in;
        if (byte == kCtrlZ) {
            return {in, out, true, false};
        }
        if (kDropEveryCR && byte == kCR) {
            continue;
        }
        if (byte == kCR) {
            if (in + 1 == end) {
                return {end, out, false, true};
            }
            if (in[1] == kLF) {
                continue;
            }
        }
        *out++ = byte;
    }
    return {in, out, false, false};
}

}  // namespace GLYPHMILL_ISA_NS
}  // namespace textmodekernels
