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
    // the default byte that was not that byte already. A block whose count of
    // default bytes the map did not raise has none; the counts go 64
    // lanes at a time, a loop compilers turn into vector compares.
    uint32_t MapUntilLoss(const unsigned char* text, unsigned char* output, uint32_t length) const
    {
        std::memcpy(output, text, length);
        Apply(output, length);
        constexpr size_t kLanes = 64;
        constexpr size_t kBlock = 255 * kLanes;
        constexpr unsigned char kDefault = codepages::kDefaultByte;
        size_t at = 0;
        for (; length - at >= kBlock; at += kBlock) {
            const unsigned char* const in = text + at;
            const unsigned char* const out = output + at;
            unsigned char raised[kLanes] = {};
            for (size_t i = 0; i < kBlock; i += kLanes) {
                for (size_t lane = 0; lane < kLanes; ++lane) {
                    raised[lane] = static_cast<unsigned char>(raised[lane] + (out[i + lane] == kDefault) -
                                                              (in[i + lane] == kDefault));
                }
            }
            unsigned char any = 0;
            for (const unsigned char lane : raised) {
                any |= lane;
            }
            if (any != 0) {
                break;
            }
        }
        for (; at < length; ++at) {
            if (output[at] == kDefault && text[at] != kDefault) {
                return static_cast<uint32_t>(at);
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

uint32_t ConvertUntilLoss(const CPairMap& map, const unsigned char** cursor, unsigned char* output, uint32_t* remaining,
                          uint32_t capacity)
{
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

uint32_t OemToAnsiUntilLoss(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    return ConvertUntilLoss(MapOf(g_oemToAnsi, *g_chosenPair, codepages::FillOemToAnsi), cursor, output, remaining,
                            capacity);
}

uint32_t AnsiToOemUntilLoss(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    return ConvertUntilLoss(MapOf(g_ansiToOem, *g_chosenPair, codepages::FillAnsiToOem), cursor, output, remaining,
                            capacity);
}

const codepages::Pair* ChosenPair()
{
    return g_chosenPair ? &*g_chosenPair : nullptr;
}

}  // namespace tables

}  // namespace platform
