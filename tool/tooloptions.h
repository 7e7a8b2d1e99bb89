#pragma once

#include "cmdline/cmdlinearg.h"
#include "cmdline/cmdlineargset.h"
#include "tool/job.h"

// The tool's eleven options, declared in the order the usage text lists them:
// f, o, the exclusive group of the seven conversions a u w m h x i, then q, ?.
class CToolOptions : public CCmdLineArgSet {
public:
    CToolOptions();

    bool IsHelpWanted() const { return m_help.GetValue(); }
    bool IsQuiet() const { return m_quiet.GetValue(); }
    // Whether one of the seven conversion options was given, whatever its value.
    bool HasConversion() const;

    // What the parsed command line asks the job to do.
    JobSettings GetJobSettings() const;

private:
    // The seven conversion options; what each selects is the row of its
    // letter in the conversion table (platform/conversions.h).
    static CCmdLineArgToggle CToolOptions::*const kConversionOptions[];

    // The conversion option given, or null.
    const CCmdLineArgToggle* GivenConversion() const;

    CCmdLineArgToggle m_help;
    CCmdLineArgString m_input;
    CCmdLineArgString m_output;
    CCmdLineArgToggle m_ansi;
    CCmdLineArgToggle m_unix;
    CCmdLineArgToggle m_windows;
    CCmdLineArgToggle m_mac;
    CCmdLineArgToggle m_html;
    CCmdLineArgToggle m_xml;
    CCmdLineArgToggle m_uri;
    CCmdLineArgToggle m_quiet;
};
