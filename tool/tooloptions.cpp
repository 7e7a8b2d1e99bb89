#include "tool/tooloptions.h"

#include "convert/entities.h"
#include "convert/lineends.h"
#include "convert/uri.h"
#include "convert/utf8.h"
#include "platform/platform.h"

CToolOptions::CToolOptions()
    : m_help("?", "help", false, false, 0),
      m_input("f", "input filename", "", 0),
      m_output("o", "output filename", "", 0),
      m_ansi("a", "convert to ansi character set (default is to oem character set)", false, true, 0),
      m_unix("u", "convert to unix line-feed (new line only)", false, false, 0),
      m_windows("w", "convert to windows line-feed (carriage-return and new line characters)", false, false, 0),
      m_mac("m", "convert to mac line-feed (carriage-return only)", false, false, 0),
      m_html("h", "convert to HTML character set", false, true, 0),
      m_xml("x", "convert to XML character set", false, true, 0),
      m_uri("i", "URI encode", false, true, 0),
      m_quiet("q", "quiet mode", false, false, 0)
{
    AddArg(&m_input);
    AddArg(&m_output);
    AddExclusiveGroup({&m_ansi, &m_unix, &m_windows, &m_mac, &m_html, &m_xml, &m_uri});
    AddArg(&m_quiet);
    AddArg(&m_help);
}

// -u, -w and -m on select their converter and off copy the text unchanged;
// -h, -x, -i and -a select a direction either way.
const CToolOptions::ConversionRow CToolOptions::kConversionRows[] = {
    {&CToolOptions::m_ansi, {platform::OemToAnsi, nullptr, nullptr}, {platform::AnsiToOem, nullptr, nullptr}, false},
    {&CToolOptions::m_unix, {nullptr, ToUnixLineEnds, nullptr, HasNoCR, true}, {}, true},
    {&CToolOptions::m_windows, {nullptr, ToWindowsLineEnds, nullptr}, {}, true},
    {&CToolOptions::m_mac, {nullptr, ToMacLineEnds, nullptr}, {}, true},
    {&CToolOptions::m_html,
     {nullptr, EncodeHtmlEntities, nullptr},
     {nullptr, DecodeHtmlEntities, EntityDecodeHoldback, HasNoAmpersand},
     false},
    {&CToolOptions::m_xml,
     {nullptr, EncodeXmlEntities, nullptr},
     {nullptr, DecodeXmlEntities, EntityDecodeHoldback, HasNoAmpersand},
     false},
    {&CToolOptions::m_uri, {nullptr, UriEncode, nullptr}, {nullptr, UriDecode, UriDecodeHoldback, HasNoPercent}, false},
};

const CToolOptions::ConversionRow* CToolOptions::GivenConversion() const
{
    for (const ConversionRow& row : kConversionRows) {
        if ((this->*row.m_option).IsGiven()) {
            return &row;
        }
    }
    return nullptr;
}

bool CToolOptions::HasConversion() const
{
    return GivenConversion() != nullptr;
}

JobSettings CToolOptions::GetJobSettings() const
{
    JobSettings settings;
    settings.m_inputPath = m_input.IsGiven() ? m_input.GetValue() : nullptr;
    settings.m_outputPath = m_output.IsGiven() ? m_output.GetValue() : nullptr;
    if (const ConversionRow* row = GivenConversion()) {
        const bool on = (this->*row->m_option).GetValue();
        settings.m_conversion = on ? row->m_whenOn : row->m_whenOff;
        // An OEM page chosen with UTF-8 converts by the expanding converters,
        // not by the in-place step; a character cut at a piece's end waits.
        if (const uint16_t page = platform::ChosenUtf8OemPage(); page != 0 && row->m_option == &CToolOptions::m_ansi) {
            settings.m_conversion = on ? Conversion{nullptr, OemToUtf8Converter(page), nullptr, HasNoHighByte}
                                       : Conversion{nullptr, Utf8ToOemConverter(page), Utf8Holdback, HasNoHighByte};
        }
        // Windows text mode would turn the line-ending conversions' LF back into CR LF.
        settings.m_binaryStandardOutput = on && row->m_binaryOutputWhenOn;
    }
    return settings;
}
