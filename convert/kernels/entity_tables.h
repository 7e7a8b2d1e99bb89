#pragma once

// The entity tables, the one source of truth of both entity converters: the
// kernels derive their indexes from them at compile time
// (entity_kernels.h), and the tests hold the converters to them. Internal to
// the converters library.

#include <cstddef>

// One row of an entity table: the byte and the entity text that stands for it
// ("&", the name, ";"). A table ends with the terminator row {0, nullptr}.
struct EntityRow {
    unsigned char m_code;
    const char* m_text;
};

constexpr size_t kHtmlEntityCount = 88;
constexpr size_t kXmlEntityCount = 5;

// The tables are defined here, not only declared, so that the converters'
// indexes are computed from them at compile time in every file that needs
// one.

// The HTML 4 entities of the ISO 8859-1 characters, plus the ASCII ones;
// "&frasl;" stands for the ASCII solidus.
// The rows in their runs, several to a line.
// clang-format off
inline constexpr EntityRow HtmlEntityTable[kHtmlEntityCount + 1] = {
    // ASCII
    {0x26, "&amp;"}, {0x22, "&quot;"}, {0x2F, "&frasl;"}, {0x3C, "&lt;"}, {0x3E, "&gt;"},
    // Symbols
    {0xA2, "&cent;"}, {0xA9, "&copy;"}, {0xAB, "&laquo;"}, {0xBB, "&raquo;"},
    {0xB0, "&deg;"}, {0xB1, "&plusmn;"}, {0xA3, "&pound;"}, {0xA5, "&yen;"},
    {0xA4, "&curren;"}, {0xA7, "&sect;"}, {0xB2, "&sup2;"}, {0xB5, "&micro;"},
    {0xB6, "&para;"}, {0xAA, "&ordf;"}, {0xBA, "&ordm;"}, {0xBD, "&frac12;"},
    {0xBC, "&frac14;"}, {0xBF, "&iquest;"}, {0xA1, "&iexcl;"},
    // Letters, in order of code
    {0xC0, "&Agrave;"}, {0xC1, "&Aacute;"}, {0xC2, "&Acirc;"}, {0xC3, "&Atilde;"},
    {0xC4, "&Auml;"}, {0xC5, "&Aring;"}, {0xC6, "&AElig;"}, {0xC7, "&Ccedil;"},
    {0xC8, "&Egrave;"}, {0xC9, "&Eacute;"}, {0xCA, "&Ecirc;"}, {0xCB, "&Euml;"},
    {0xCC, "&Igrave;"}, {0xCD, "&Iacute;"}, {0xCE, "&Icirc;"}, {0xCF, "&Iuml;"},
    {0xD0, "&ETH;"}, {0xD1, "&Ntilde;"}, {0xD2, "&Ograve;"}, {0xD3, "&Oacute;"},
    {0xD4, "&Ocirc;"}, {0xD5, "&Otilde;"}, {0xD6, "&Ouml;"}, {0xD7, "&times;"},
    {0xD8, "&Oslash;"}, {0xD9, "&Ugrave;"}, {0xDA, "&Uacute;"}, {0xDB, "&Ucirc;"},
    {0xDC, "&Uuml;"}, {0xDD, "&Yacute;"}, {0xDE, "&THORN;"}, {0xDF, "&szlig;"},
    {0xE0, "&agrave;"}, {0xE1, "&aacute;"}, {0xE2, "&acirc;"}, {0xE3, "&atilde;"},
    {0xE4, "&auml;"}, {0xE5, "&aring;"}, {0xE6, "&aelig;"}, {0xE7, "&ccedil;"},
    {0xE8, "&egrave;"}, {0xE9, "&eacute;"}, {0xEA, "&ecirc;"}, {0xEB, "&euml;"},
    {0xEC, "&igrave;"}, {0xED, "&iacute;"}, {0xEE, "&icirc;"}, {0xEF, "&iuml;"},
    {0xF0, "&eth;"}, {0xF1, "&ntilde;"}, {0xF2, "&ograve;"}, {0xF3, "&oacute;"},
    {0xF4, "&ocirc;"}, {0xF5, "&otilde;"}, {0xF6, "&ouml;"}, {0xF7, "&divide;"},
    {0xF8, "&oslash;"}, {0xF9, "&ugrave;"}, {0xFA, "&uacute;"}, {0xFB, "&ucirc;"},
    {0xFC, "&uuml;"}, {0xFD, "&yacute;"}, {0xFE, "&thorn;"}, {0xFF, "&yuml;"},
    {0, nullptr},
};

// The five entities every XML parser knows.
inline constexpr EntityRow XmlEntityTable[kXmlEntityCount + 1] = {
    {0x26, "&amp;"}, {0x3C, "&lt;"}, {0x3E, "&gt;"}, {0x22, "&quot;"}, {0x27, "&apos;"},
    {0, nullptr},
};
// clang-format on
