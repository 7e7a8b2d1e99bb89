#include "tool/tooloptions.h"

#include "platform/conversions.h"

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

CCmdLineArgToggle CToolOptions::*const CToolOptions::kConversionOptions[] = {
    &CToolOptions::m_ansi, &CToolOptions::m_unix, &CToolOptions::m_windows, &CToolOptions::m_mac,
    &CToolOptions::m_html, &CToolOptions::m_xml,  &CToolOptions::m_uri,
};

const CCmdLineArgToggle* CToolOptions::GivenConversion() const
{
    for (CCmdLineArgToggle CToolOptions::*option : kConversionOptions) {
        if ((this->*option).IsGiven()) {
            return &(this->*option);
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
    if (const CCmdLineArgToggle* option = GivenConversion()) {
        // Each option's name is its letter in the conversion table.
        const char letter = option->GetName()[0];
        const bool on = option->GetValue();
        conversions::Select(letter, on, &settings.m_conversion);
        settings.m_binaryStandardOutput = conversions::NeedsBinaryOutput(letter, on);
    }
    return settings;
}
