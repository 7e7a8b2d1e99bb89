#include "platform/tablecodepages.h"

#include <algorithm>
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

    // Up to the first byte without an exact counterpart, where the table
    // was filled under GLYPHMILL_UNMAPPED=fail (CByteMap::ApplyUntilLoss).
    uint32_t ApplyUntilLoss(unsigned char* buffer, uint32_t length, uint64_t* lineFeeds) const
    {
        if (m_map) {
            return m_map->ApplyUntilLoss(buffer, length, lineFeeds);
        }
        *lineFeeds += static_cast<uint64_t>(std::count(buffer, buffer + length, '\n'));
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

uint32_t OemToAnsiUntilLoss(unsigned char* buffer, uint32_t length, uint64_t* lineFeeds)
{
    return MapOf(g_oemToAnsi, *g_chosenPair, codepages::FillOemToAnsi).ApplyUntilLoss(buffer, length, lineFeeds);
}

uint32_t AnsiToOemUntilLoss(unsigned char* buffer, uint32_t length, uint64_t* lineFeeds)
{
    return MapOf(g_ansiToOem, *g_chosenPair, codepages::FillAnsiToOem).ApplyUntilLoss(buffer, length, lineFeeds);
}

const codepages::Pair* ChosenPair()
{
    return g_chosenPair ? &*g_chosenPair : nullptr;
}

}  // namespace tables

}  // namespace platform
