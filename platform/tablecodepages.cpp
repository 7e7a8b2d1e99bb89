#include "platform/tablecodepages.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

#include "convert/bytemap.h"
#include "platform/platform.h"

namespace platform {

namespace {

std::optional<codepages::Pair> g_chosenPair;
codepages::Unmapped g_unmapped = codepages::Unmapped::kWindows;

using Fill = bool (*)(codepages::Pair, unsigned char*, codepages::Unmapped);

// Whether a byte from 0x80 up became one below it: the default byte is
// ASCII and ASCII maps to itself, so every loss is such a byte (where a
// high byte's exact counterpart were ASCII, the caller's closer look finds
// no loss). 64 lanes at a time, a loop compilers turn into vector code.
bool MayHaveLost(const unsigned char* text, const unsigned char* mapped, uint32_t length)
{
    constexpr size_t kLanes = 64;
    unsigned char lost[kLanes] = {};
    const unsigned char* in = text;
    const unsigned char* out = mapped;
    const unsigned char* const end = text + length;
    for (; static_cast<size_t>(end - in) >= kLanes; in += kLanes, out += kLanes) {
        for (size_t lane = 0; lane < kLanes; ++lane) {
            lost[lane] = static_cast<unsigned char>(lost[lane] | (in[lane] & ~out[lane]));
        }
    }
    unsigned char any = 0;
    for (const unsigned char lane : lost) {
        any = static_cast<unsigned char>(any | lane);
    }
    for (; in < end; ++in, ++out) {
        any = static_cast<unsigned char>(any | (*in & ~*out));
    }
    return (any & 0x80) != 0;
}

// One direction of one pair, built on first use: a run converts one way
// through one pair, and the byte map costs 128 KiB to build.
class CPairMap {
public:
    CPairMap(codepages::Pair pair, Fill fill) : m_pair(pair)
    {
        if (fill(pair, m_table, g_unmapped)) {
            m_map = std::make_unique<CByteMap>(m_table);
        }
    }

    codepages::Pair Pair() const { return m_pair; }

    // Text of a double-byte or UTF-8 pair is left as it is.
    void Apply(unsigned char* buffer, uint32_t length) const
    {
        if (m_map) {
            m_map->Apply(buffer, length);
        }
    }

    // Maps `length` bytes of `text` into `output`, and returns how many come
    // before the first without an exact counterpart: the first byte mapped to
    // the default byte that was not that byte already. Only text that may
    // hold one is looked at byte by byte.
    uint32_t MapUntilLoss(const unsigned char* text, unsigned char* output, uint32_t length) const
    {
        std::memcpy(output, text, length);
        Apply(output, length);
        if (MayHaveLost(text, output, length)) {
            for (uint32_t at = 0; at < length; ++at) {
                if (output[at] == codepages::kDefaultByte && text[at] != codepages::kDefaultByte) {
                    return at;
                }
            }
        }
        return length;
    }

private:
    codepages::Pair m_pair;
    unsigned char m_table[256] = {};
    std::unique_ptr<CByteMap> m_map;
};

// Built by the first call that needs it, which may be any of
// glyphmill-files' workers at once.
std::mutex g_building;

const CPairMap& MapOf(std::unique_ptr<CPairMap>& cached, codepages::Pair pair, Fill fill)
{
    const std::lock_guard<std::mutex> lock(g_building);
    if (!cached || !(cached->Pair() == pair)) {
        cached = std::make_unique<CPairMap>(pair, fill);
    }
    return *cached;
}

std::unique_ptr<CPairMap> g_oemToAnsi;
std::unique_ptr<CPairMap> g_ansiToOem;

// A converter whose context is the CPairMap of its direction.
uint32_t ConvertUntilLoss(const void* context, const unsigned char** cursor, unsigned char* output, uint32_t* remaining,
                          uint32_t capacity)
{
    const auto& map = *static_cast<const CPairMap*>(context);
    const uint32_t length = map.MapUntilLoss(*cursor, output, std::min(*remaining, capacity));
    *cursor += length;
    *remaining -= length;
    return length;
}

}  // namespace

void UseCodePages(codepages::Pair pair)
{
    g_chosenPair = pair;
}

void UseUnmapped(codepages::Unmapped policy)
{
    const std::lock_guard<std::mutex> lock(g_building);
    g_unmapped = policy;
    g_oemToAnsi.reset();
    g_ansiToOem.reset();
}

codepages::Unmapped ChosenUnmapped()
{
    return g_unmapped;
}

uint16_t ChosenUtf8OemPage()
{
    const bool utf8 =
        g_chosenPair && g_chosenPair->m_ansi == codepages::kUtf8 && g_chosenPair->m_oem != codepages::kUtf8;
    return utf8 ? g_chosenPair->m_oem : 0;
}

namespace tables {

void MapOemToAnsi(codepages::Pair pair, unsigned char* buffer, uint32_t length)
{
    MapOf(g_oemToAnsi, pair, codepages::FillOemToAnsi).Apply(buffer, length);
}

void MapAnsiToOem(codepages::Pair pair, unsigned char* buffer, uint32_t length)
{
    MapOf(g_ansiToOem, pair, codepages::FillAnsiToOem).Apply(buffer, length);
}

Converter OemToAnsiUntilLoss()
{
    return Converter(ConvertUntilLoss, &MapOf(g_oemToAnsi, *g_chosenPair, codepages::FillOemToAnsi));
}

Converter AnsiToOemUntilLoss()
{
    return Converter(ConvertUntilLoss, &MapOf(g_ansiToOem, *g_chosenPair, codepages::FillAnsiToOem));
}

const codepages::Pair* ChosenPair()
{
    return g_chosenPair ? &*g_chosenPair : nullptr;
}

}  // namespace tables

}  // namespace platform
