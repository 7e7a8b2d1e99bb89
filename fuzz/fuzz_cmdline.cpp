// Command lines built from the input (texts split at NUL bytes) go through
// the tool's option set and through a set that uses every rule the tool does
// not: positional, required and dependent arguments. Whatever the texts, a
// parse either succeeds with no failure text or yields exactly one of the
// four failure texts, naming what it must name.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cmdline/cmdlinearg.h"
#include "cmdline/cmdlineargset.h"
#include "fuzz/fuzz_check.h"
#include "tool/tooloptions.h"

namespace {

constexpr size_t kMaxTexts = 32;

// A client set with every kind of rule.
class CRichSet : public CCmdLineArgSet {
public:
    CRichSet()
        : m_file("file", "input file", "", ARG_POSITIONAL),
          m_count("count", "how many", 1, ARG_POSITIONAL),
          m_mode("mode", "mode", "fast", ARG_REQUIRED),
          m_level("level", "level", 0, 0),
          m_verbose("v", "verbose", false, true, 0),
          m_log("log", "log file", "", 0),
          m_left("left", "left", false, false, 0),
          m_right("right", "right", false, false, 0)
    {
        m_file.AddChoice("a.txt");
        m_file.AddChoice("b.txt");
        m_count.AddChoice(1);
        m_count.AddChoice(-2);
        m_mode.AddChoice("fast");
        AddTextLine("free text");
        AddArg(&m_file);
        AddArg(&m_count);
        AddArg(&m_mode);
        AddArg(&m_level);
        AddDependency(&m_verbose, {&m_log, &m_level});
        AddExclusiveGroup({&m_left, &m_right, &m_left});
    }

    // Whether `text` is one of the failure texts this set's rules can give.
    static bool IsRuleFailure(const std::string& text)
    {
        return text == "Exclusive arguments: left and right\n\n" || text == "log is invalid without v\n\n" ||
               text == "level is invalid without v\n\n" || text == "Missing required argument: mode\n\n";
    }

private:
    CCmdLineArgString m_file;
    CCmdLineArgInt m_count;
    CCmdLineArgString m_mode;
    CCmdLineArgInt m_level;
    CCmdLineArgToggle m_verbose;
    CCmdLineArgString m_log;
    CCmdLineArgToggle m_left;
    CCmdLineArgToggle m_right;
};

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool IsToolRuleFailure(const std::string& text)
{
    static const char kGroup[] = "auwmhxi";
    for (size_t first = 0; first < 7; ++first) {
        for (size_t second = first + 1; second < 7; ++second) {
            const std::string pair =
                std::string("Exclusive arguments: ") + kGroup[first] + " and " + kGroup[second] + "\n\n";
            if (text == pair) {
                return true;
            }
        }
    }
    return false;
}

// Exactly one of the four forms, and the right one for the failing text.
void CheckFailureText(bool parsed, const std::string& text, const std::vector<std::string>& texts,
                      bool (*isRuleFailure)(const std::string&))
{
    if (parsed) {
        FUZZ_CHECK(text.empty());
        return;
    }
    FUZZ_CHECK(text.size() >= 2 && text.compare(text.size() - 2, 2, "\n\n") == 0);
    const int forms = StartsWith(text, "Invalid argument: ") + StartsWith(text, "Exclusive arguments: ") +
                      StartsWith(text, "Missing required argument: ") +
                      (text.find(" is invalid without ") != std::string::npos);
    if (StartsWith(text, "Invalid argument: ")) {
        bool namesAText = false;
        for (const std::string& given : texts) {
            namesAText = namesAText || text == "Invalid argument: " + given + "\n\n";
        }
        FUZZ_CHECK(namesAText);
        return;  // the quoted text itself may hold any of the other forms
    }
    FUZZ_CHECK(forms == 1);
    FUZZ_CHECK(isRuleFailure(text));
}

std::vector<std::string> SplitAtNul(const uint8_t* data, size_t size)
{
    std::vector<std::string> texts;
    const char* const begin = reinterpret_cast<const char*>(data);
    const char* start = begin;
    for (const char* at = begin; at <= begin + size && texts.size() < kMaxTexts; ++at) {
        if (at == begin + size || *at == '\0') {
            texts.emplace_back(start, at);
            start = at + 1;
        }
    }
    return texts;
}

template <typename Set>
void ParseWith(const std::vector<std::string>& texts, bool (*isRuleFailure)(const std::string&))
{
    std::vector<std::string> storage = texts;
    std::vector<char*> argv;
    std::string program = "glyphmill";
    argv.push_back(program.data());
    for (std::string& text : storage) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);
    Set set;
    const bool parsed = set.Parse(static_cast<int>(argv.size() - 1), argv.data());
    CheckFailureText(parsed, set.GetErrorText(), texts, isRuleFailure);
    FUZZ_CHECK(set.GetUsageText(true)[0] != '\0');
    FUZZ_CHECK(set.GetArgCount() == texts.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<std::string> texts = size > 0 ? SplitAtNul(data, size) : std::vector<std::string>{};
    ParseWith<CToolOptions>(texts, IsToolRuleFailure);
    ParseWith<CRichSet>(texts, CRichSet::IsRuleFailure);
    return 0;
}
