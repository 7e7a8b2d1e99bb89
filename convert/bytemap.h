#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "convert/simd.h"

// Maps every byte of a buffer in place through a 256-entry table whose lower
// half is the identity (true of every code-page pair: the generated tables
// hold the upper half alone, and codepages::FillOemToAnsi and FillAnsiToOem
// write the identity below it): the kernels skip ASCII chunks and map only
// bytes from 0x80 up. It goes two bytes at a time, through a table of all
// 65536 pairs (128 KiB) built once from the byte table: text with a high byte
// in most blocks of 16 costs half the lookups, and no branch on where those
// bytes are. The map keeps a copy of the table, so the caller's may go; a
// table whose lower half is not the identity fails an assertion.
class CByteMap {
public:
    // The kernel is that of `level`, resolved here once.
    explicit CByteMap(const unsigned char table[256], simd::Level level = simd::ChosenLevel());

    void Apply(unsigned char* buffer, uint32_t length) const;

    // Maps as Apply does, up to the first byte from 0x80 up that the table
    // maps below 0x80: under a table that gives the default byte for every
    // byte without an exact counterpart, the first loss. Returns how many
    // bytes it mapped; that byte and those after it are left as they were.
    // Adds the number of LFs among the bytes it mapped to `*lineFeeds`.
    uint32_t ApplyUntilLoss(unsigned char* buffer, uint32_t length, uint64_t* lineFeeds) const;

private:
    std::array<unsigned char, 256> m_table;
    std::vector<uint16_t> m_pairs;
    decltype(kernels::Table::m_mapBytes) m_map;
    decltype(kernels::Table::m_mapBytesUntilLoss) m_mapUntilLoss;
};
