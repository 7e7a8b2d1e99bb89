#include "tool/tooloptions.h"

#include "convert/entities.h"
#include "convert/lineends.h"
#include "platform/platform.h"
#include "convert/uri.h"

CToolOptions::CToolOptions()
    : m_help("?", "help", false, false, 0),
      m_input("f", "input filename", "", 0),
      m_output("o", "output filename", "", 0),
      m_ansi("a", "convert to ansi character set (default is to oem character set)", false, true, 0),
      m_unix("u", "convert to unix line-feed (new line only)", false, false, 0),
      m_windows("w", "convert to windows line-feed (carriage-return and new line characters)", false, false,
                0),
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

bool CToolOptions::HasConversion() const
{
    return m_ansi.IsGiven() || m_unix.IsGiven() || m_windows.IsGiven() || m_mac.IsGiven() ||
           m_html.IsGiven() || m_xml.IsGiven() || m_uri.IsGiven();
}

// -u, -w and -m act by their value, so -u- copies the text unchanged; -h, -x
// and -i act by being given and take the direction from their value.
CConversion CToolOptions::GetConversion() const
{
    CConversion conversion;
    if (m_ansi.IsGiven()) {
        conversion.recode = m_ansi.GetValue() ? platform::OemToAnsi : platform::AnsiToOem;
    }
    if (m_unix.GetValue()) {
        conversion.convert = ToUnixLineEnds;
    } else if (m_windows.GetValue()) {
        conversion.convert = ToWindowsLineEnds;
    } else if (m_mac.GetValue()) {
        conversion.convert = ToMacLineEnds;
    } else if (m_html.IsGiven()) {
        conversion.convert = m_html.GetValue() ? EncodeHtmlEntities : DecodeHtmlEntities;
        conversion.holdback = m_html.GetValue() ? nullptr : EntityDecodeHoldback;
    } else if (m_xml.IsGiven()) {
        conversion.convert = m_xml.GetValue() ? EncodeXmlEntities : DecodeXmlEntities;
        conversion.holdback = m_xml.GetValue() ? nullptr : EntityDecodeHoldback;
    } else if (m_uri.IsGiven()) {
        conversion.convert = m_uri.GetValue() ? UriEncode : UriDecode;
        conversion.holdback = m_uri.GetValue() ? nullptr : UriDecodeHoldback;
    }
    return conversion;
}

JobSettings CToolOptions::GetJobSettings() const
{
    JobSettings settings;
    settings.inputPath = m_input.IsGiven() ? m_input.GetValue() : nullptr;
    settings.outputPath = m_output.IsGiven() ? m_output.GetValue() : nullptr;
    // Windows text mode would turn the line-ending conversions' LF back into CR LF.
    settings.binaryStandardOutput = m_unix.GetValue() || m_windows.GetValue() || m_mac.GetValue();
    settings.conversion = GetConversion();
    return settings;
}
