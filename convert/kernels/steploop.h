#pragma once

// The loops the entity and URI converters share. Both copy text unchanged
// except at a few special bytes, where one step writes the replacement:
// encoding steps at every byte that has one (a byte becomes up to kMaxStep
// bytes), decoding at every introducer ('&' or '%'), where a step writes one
// byte and consumes the whole match or the introducer alone. A converter
// supplies what differs: which bytes are special and what a step does.
// Internal to the converters library.

#include <cstddef>
#include <cstdint>

#include "convert/bytescan.h"
#include "convert/kernels/isa.h"

namespace steploop {
inline namespace GLYPHMILL_ISA_NS {

// A chunk whose bytes at `special` need a step: the runs between them copied
// whole (V::CopyRun) and a step at each. V::CopyRun may read a chunk from the
// chunk's last byte on.
template <typename V, typename Step>
GLYPHMILL_INLINE void RunsAndSteps(const unsigned char*& in, unsigned char*& out, uint64_t special, Step step)
{
    using bytescan::kChunk;
    const unsigned char* const chunk = in;
    for (uint64_t left = special; left != 0; left &= left - 1) {
        const unsigned char* const next = chunk + bytescan::LowestBit64(left);
        V::CopyRun(out, in, next - in);
        out += next - in;
        in = next;
        step(in, out);
    }
    V::CopyRun(out, in, chunk + kChunk - in);
    out += chunk + kChunk - in;
    in = chunk + kChunk;
}

// Encodes from *cursor as far as the output limit allows. `specialBits`
// gives, for a chunk of kChunk bytes, one bit per byte that needs a step;
// `step` converts the byte at `in` and advances both pointers. V is the
// instruction set (isa.h).
template <typename V, size_t kMaxStep, typename SpecialBits, typename Step>
uint32_t Encode(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity,
                SpecialBits specialBits, Step step)
{
    const unsigned char* in = *cursor;
    const unsigned char* const end = in + *remaining;
    unsigned char* out = output;
    unsigned char* const limit = bytescan::OutputLimit(output, capacity);
    using bytescan::kChunk;
    // Whole chunks while the output has room for a step at every byte and
    // one more run copy: a run copy may read kChunk bytes from the last byte
    // of the chunk on. The runs between the special bytes are copied a block
    // at a time, the special bytes are steps.
    while (end - in >= 2 * kChunk && limit - out >= kChunk * static_cast<ptrdiff_t>(kMaxStep + 2)) {
        RunsAndSteps<V>(in, out, specialBits(in), step);
    }
    // The last bytes step by step, each step started below the limit.
    while (in < end && out < limit) {
        step(in, out);
    }
    return bytescan::Finish(cursor, remaining, in, output, out);
}

// Decodes from *cursor as far as the output limit allows. `step` handles the
// introducer at `in`: it writes one byte and consumes a whole match or the
// introducer alone, never passing another introducer but the match's own.
template <typename V, unsigned char kIntroducer, typename Step>
uint32_t Decode(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity, Step step)
{
    const unsigned char* in = *cursor;
    const unsigned char* const end = in + *remaining;
    unsigned char* out = output;
    unsigned char* const limit = bytescan::OutputLimit(output, capacity);
    using bytescan::kChunk;
    // Whole chunks while the output has room for one more and a run copy.
    // The introducers of a chunk do not depend on the steps, so they are
    // found for the whole chunk first and the steps need not wait for one
    // another; only the last step may end beyond the chunk. A run copy may
    // read kChunk bytes from the last byte of the chunk on. A match is far
    // shorter than a chunk, so the steps are told the input ends a chunk
    // after this one: a bound the compiler sees, which lets it drop the
    // steps' own tests for the end.
    while (end - in >= 2 * kChunk && limit - out >= 3 * kChunk) {
        const unsigned char* const chunk = in;
        uint64_t hits = V::template Equal64<kIntroducer>(chunk);
        if (hits == 0) {
            V::CopyRun(out, in, kChunk);
            out += kChunk;
            in += kChunk;
            continue;
        }
        for (; hits != 0; hits &= hits - 1) {
            const unsigned char* const next = chunk + bytescan::LowestBit64(hits);
            V::CopyRun(out, in, next - in);
            out += next - in;
            in = next;
            step(in, chunk + 2 * kChunk, out);
        }
        if (in < chunk + kChunk) {
            V::CopyRun(out, in, chunk + kChunk - in);
            out += chunk + kChunk - in;
            in = chunk + kChunk;
        }
    }
    while (in < end && out < limit) {
        // Every step writes one byte, so every step of a run no longer than
        // the room left starts below the limit.
        in = bytescan::CopyUntil(in, in + bytescan::Min(end - in, limit - out), out, kIntroducer);
        if (in == end || out == limit) {
            break;
        }
        step(in, end, out);
    }
    return bytescan::Finish(cursor, remaining, in, output, out);
}

// Runs `chunks(in, end, out, limit)`, a path that converts whole chunks
// without a step and stops where it cannot go on, then `steps` (an Encode or
// Decode call) on what it left: the call as one converter call.
template <typename Chunks, typename Steps>
uint32_t ChunksThenSteps(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity,
                         Chunks chunks, Steps steps)
{
    const unsigned char* in = *cursor;
    unsigned char* out = output;
    chunks(in, in + *remaining, out, bytescan::OutputLimit(output, capacity));
    const uint32_t written = bytescan::Finish(cursor, remaining, in, output, out);
    return written + steps(cursor, out, remaining, capacity - written);
}

// For a piece that stops inside a line: the bytes from the last introducer
// within `reach` bytes of the end (0 when there is none), which may start a
// match the cut divides. An introducer further back starts a match that ends
// inside the piece.
inline uint32_t Holdback(const unsigned char* piece, uint32_t length, unsigned char introducer, uint32_t reach)
{
    const unsigned char* const found =
        bytescan::FindLast(piece + length - bytescan::Min(length, reach), bytescan::Min(length, reach), introducer);
    return found != nullptr ? static_cast<uint32_t>(piece + length - found) : 0;
}

}  // namespace GLYPHMILL_ISA_NS
}  // namespace steploop
