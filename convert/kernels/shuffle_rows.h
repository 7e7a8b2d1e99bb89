#pragma once

// The tables of the sets that compact and expand bytes eight at a time with
// a byte shuffle (Neon's vtbl, Avx2's pshufb): a row per pattern of eight
// bits, built at compile time. Internal to the converters library.

namespace isa {
inline namespace GLYPHMILL_ISA_NS {

// Row m holds the byte indices that drop, from eight bytes, those whose bit
// is set in m and move the rest to the front (as simdutf's UTF-8 tables do);
// m_kept[m] is the number kept. Lanes past those are left over (index 0).
struct DropRows {
    unsigned char m_rows[256][8] = {};
    unsigned char m_kept[256] = {};
};

constexpr DropRows BuildDropRows()
{
    DropRows rows;
    for (int mask = 0; mask < 256; ++mask) {
        int kept = 0;
        for (int lane = 0; lane < 8; ++lane) {
            if (((mask >> lane) & 1) == 0) {
                rows.m_rows[mask][kept++] = static_cast<unsigned char>(lane);
            }
        }
        rows.m_kept[mask] = static_cast<unsigned char>(kept);
    }
    return rows;
}

inline constexpr DropRows kDropRows = BuildDropRows();

// Row m holds what eight bytes become when those whose bit is set in m are
// escaped, as indices into [the eight bytes, their high hex digits, their low
// hex digits, '%']: i, or 24, 8 + i, 16 + i; m_length[m] is its length.
// Lanes past it are left over (index 0).
struct EscapeRows {
    unsigned char m_rows[256][32] = {};
    unsigned char m_length[256] = {};
};

constexpr EscapeRows BuildEscapeRows()
{
    EscapeRows rows;
    for (int mask = 0; mask < 256; ++mask) {
        int length = 0;
        for (int lane = 0; lane < 8; ++lane) {
            if (((mask >> lane) & 1) == 0) {
                rows.m_rows[mask][length++] = static_cast<unsigned char>(lane);
                continue;
            }
            rows.m_rows[mask][length++] = 24;
            rows.m_rows[mask][length++] = static_cast<unsigned char>(8 + lane);
            rows.m_rows[mask][length++] = static_cast<unsigned char>(16 + lane);
        }
        rows.m_length[mask] = static_cast<unsigned char>(length);
    }
    return rows;
}

inline constexpr EscapeRows kEscapeRows = BuildEscapeRows();

}  // namespace GLYPHMILL_ISA_NS
}  // namespace isa
