#include "platform/tablecodepages.h"

#include <memory>
#include <optional>

#include "convert/bytemap.h"
#include "platform/platform.h"

namespace platform {

namespace {

std::optional<codepages::Pair> g_chosenPair;

// One direction of one pair, built on first use: a run converts one way
// through one pair, and the byte map costs 128 KiB to build.
class CPairMap {
public:
    CPairMap(codepages::Pair pair, bool (*fill)(codepages::Pair, unsigned char*)) : m_pair(pair)
    {
        if (fill(pair, m_table)) {
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

private:
    codepages::Pair m_pair;
    unsigned char m_table[256] = {};
    std::unique_ptr<CByteMap> m_map;
};

void Convert(std::unique_ptr<CPairMap>& cached, codepages::Pair pair, bool (*fill)(codepages::Pair, unsigned char*),
             unsigned char* buffer, uint32_t length)
{
    if (!cached || !(cached->Pair() == pair)) {
        cached = std::make_unique<CPairMap>(pair, fill);
    }
    cached->Apply(buffer, length);
}

}  // namespace

void UseCodePages(codepages::Pair pair)
{
    g_chosenPair = pair;
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
    static std::unique_ptr<CPairMap> cached;
    Convert(cached, pair, codepages::FillOemToAnsi, buffer, length);
}

void MapAnsiToOem(codepages::Pair pair, unsigned char* buffer, uint32_t length)
{
    static std::unique_ptr<CPairMap> cached;
    Convert(cached, pair, codepages::FillAnsiToOem, buffer, length);
}

const codepages::Pair* ChosenPair()
{
    return g_chosenPair ? &*g_chosenPair : nullptr;
}

}  // namespace tables

}  // namespace platform
