#include "cmdline/cmdlineargset.h"

#include <cstring>

#include "cmdline/bytecase.h"

namespace {

bool IsNamedText(const char* text)
{
    return text[0] == '-' || text[0] == '/';
}

// The first member of `list` that is given and is not `other`.
CCmdLineArg* FirstGivenExcept(const std::vector<CCmdLineArg*>& list, const CCmdLineArg* other)
{
    for (CCmdLineArg* arg : list) {
        if (arg != other && arg->IsGiven()) {
            return arg;
        }
    }
    return nullptr;
}

// Every failure text is the concatenation of its parts and a blank line.
void ComposeFailure(CStrBuf& text, std::initializer_list<const char*> parts)
{
    text.Assign("");
    for (const char* part : parts) {
        text.Append(part);
    }
    text.Append("\n\n");
}

// The width an argument takes in the detailed list: its dash and name.
uint32_t ListedWidth(const CCmdLineArg& arg)
{
    return static_cast<uint32_t>(std::strlen(arg.GetName())) + (arg.IsNamed() ? 1u : 0u);
}

void AppendSpaces(CStrBuf& text, uint32_t count)
{
    CStrBuf spaces;
    spaces.AssignN(nullptr, count);
    std::memset(spaces.GetBuffer(), ' ', count);
    text.Append(spaces.GetText());
}

}  // namespace

CCmdLineArgSet::CCmdLineArgSet()
    : m_argCount(0),
      m_argv(nullptr),
      m_missingArg(nullptr),
      m_exclusiveFirst(nullptr),
      m_exclusiveSecond(nullptr),
      m_prerequisite(nullptr),
      m_dependent(nullptr),
      m_invalidIndex(0)
{
}

CCmdLineArgSet::~CCmdLineArgSet() = default;

// --- Declaration -------------------------------------------------------------

void CCmdLineArgSet::AddArg(CCmdLineArg* arg)
{
    m_args.push_back(arg);
}

void CCmdLineArgSet::AddExclusiveGroup(std::initializer_list<CCmdLineArg*> members)
{
    m_args.insert(m_args.end(), members.begin(), members.end());
    m_exclusiveGroups.emplace_back(members);
}

void CCmdLineArgSet::AddDependency(CCmdLineArg* prerequisite, std::initializer_list<CCmdLineArg*> dependents)
{
    AddArg(prerequisite);
    m_args.insert(m_args.end(), dependents.begin(), dependents.end());
    m_dependencies.emplace(prerequisite, dependents);
}

void CCmdLineArgSet::AddTextLine(const char* text)
{
    m_textLines.emplace_back(text);
}

// --- Parsing -----------------------------------------------------------------

bool CCmdLineArgSet::Parse(int argc, char** argv)
{
    m_argCount = argc > 0 ? static_cast<uint32_t>(argc - 1) : 0u;
    m_argv = argv;
    for (uint32_t i = 1; i <= m_argCount; ++i) {
        // An empty text (a quoted "") has no dash, so it is positional: a
        // positional argument may take the empty value, and with none left it
        // fails like any other text. Its NUL is the only byte looked at.
        const char* text = argv[i];
        const bool taken = IsNamedText(text) ? MatchNamed(text) : MatchPositional(text);
        if (!taken) {
            m_invalidIndex = i;
            return false;
        }
    }
    return CheckExclusiveGroups() && CheckDependencies() && CheckRequired();
}

// The value is written right after the name in the same text, so "-fin.txt"
// and "-f=in.txt" both give f the value in.txt. The kind's SetValue alone
// judges it: the allowed values of a named argument are shown, not enforced.
bool CCmdLineArgSet::MatchNamed(const char* text)
{
    for (CCmdLineArg* arg : m_args) {
        if (!arg->IsNamed() || arg->IsGiven()) {
            continue;
        }
        const char* value = SkipFoldedPrefix(text + 1, arg->GetName());
        if (value == nullptr) {
            continue;
        }
        if (*value == '=' || *value == ':') {
            ++value;
        }
        return arg->SetValue(value);
    }
    return false;
}

// Positional arguments fill strictly in declaration order: when the next one
// refuses the text, no later one is tried.
bool CCmdLineArgSet::MatchPositional(const char* text)
{
    for (CCmdLineArg* arg : m_args) {
        if (arg->IsPositional() && !arg->IsGiven()) {
            return arg->IsValidValue(text) && arg->SetValue(text);
        }
    }
    return false;
}

bool CCmdLineArgSet::CheckExclusiveGroups()
{
    for (const ArgList& group : m_exclusiveGroups) {
        CCmdLineArg* first = FirstGivenExcept(group, nullptr);
        CCmdLineArg* second = first != nullptr ? FirstGivenExcept(group, first) : nullptr;
        if (second != nullptr) {
            m_exclusiveFirst = first;
            m_exclusiveSecond = second;
            return false;
        }
    }
    return true;
}

bool CCmdLineArgSet::CheckDependencies()
{
    for (const auto& entry : m_dependencies) {
        if (entry.first->IsGiven()) {
            continue;
        }
        CCmdLineArg* dependent = FirstGivenExcept(entry.second, nullptr);
        if (dependent != nullptr) {
            m_prerequisite = entry.first;
            m_dependent = dependent;
            return false;
        }
    }
    return true;
}

bool CCmdLineArgSet::CheckRequired()
{
    for (CCmdLineArg* arg : m_args) {
        if (arg->IsRequired() && !arg->IsGiven()) {
            m_missingArg = arg;
            return false;
        }
    }
    return true;
}

// --- Results -----------------------------------------------------------------

const char* CCmdLineArgSet::GetErrorText()
{
    m_errorText.Assign("");
    if (m_invalidIndex != 0) {
        ComposeFailure(m_errorText, {"Invalid argument: ", GetArgText(m_invalidIndex)});
    }
    if (m_exclusiveFirst != nullptr) {
        ComposeFailure(m_errorText,
                       {"Exclusive arguments: ", m_exclusiveFirst->GetName(), " and ", m_exclusiveSecond->GetName()});
    }
    if (m_prerequisite != nullptr) {
        ComposeFailure(m_errorText, {m_dependent->GetName(), " is invalid without ", m_prerequisite->GetName()});
    }
    if (m_missingArg != nullptr) {
        ComposeFailure(m_errorText, {"Missing required argument: ", m_missingArg->GetName()});
    }
    return m_errorText.GetText();
}

const char* CCmdLineArgSet::GetUsageText(bool detailed)
{
    m_usageText.Assign("");
    AppendSynopsis();
    if (detailed) {
        AppendTextLines();
        AppendArgList();
    }
    return m_usageText.GetText();
}

const char* CCmdLineArgSet::GetArgText(unsigned index) const
{
    return (m_argv != nullptr && index <= m_argCount) ? m_argv[index] : nullptr;
}

const char* CCmdLineArgSet::GetProgramName() const
{
    return m_argv != nullptr ? m_argv[0] : nullptr;
}

// --- Usage -------------------------------------------------------------------

// "[-name=<type>{choices}] " for a named optional argument, "<name>{choices} "
// for a required positional one; a trailing space even after the last.
void CCmdLineArgSet::AppendSynopsis()
{
    for (CCmdLineArg* arg : m_args) {
        const bool optional = !arg->IsRequired();
        m_usageText.Append(optional ? "[" : "");
        if (arg->IsNamed()) {
            m_usageText.Append("-");
            m_usageText.Append(arg->GetName());
            const char* type = arg->GetTypeLabel();
            m_usageText.Append(type[0] != '\0' ? "=" : "");
            m_usageText.Append(type);
        } else {
            m_usageText.Append("<");
            m_usageText.Append(arg->GetName());
            m_usageText.Append(">");
        }
        m_usageText.Append(arg->GetChoicesLabel());
        m_usageText.Append(optional ? "] " : " ");
    }
    m_usageText.Append("\n");
}

void CCmdLineArgSet::AppendTextLines()
{
    if (m_textLines.empty()) {
        return;
    }
    m_usageText.Append("\n");
    for (const CStrBuf& line : m_textLines) {
        m_usageText.Append(line.GetText());
        m_usageText.Append("\n");
    }
}

// Descriptions line up two columns after the widest "-name", so the widest
// entry is followed by exactly two spaces.
void CCmdLineArgSet::AppendArgList()
{
    if (m_args.empty()) {
        return;
    }
    uint32_t widest = 0;
    for (const CCmdLineArg* arg : m_args) {
        const uint32_t width = ListedWidth(*arg);
        widest = width > widest ? width : widest;
    }
    m_usageText.Append("\n");
    for (const CCmdLineArg* arg : m_args) {
        m_usageText.Append(arg->IsNamed() ? "-" : "");
        m_usageText.Append(arg->GetName());
        AppendSpaces(m_usageText, widest + 2 - ListedWidth(*arg));
        m_usageText.Append(arg->GetDescription());
        m_usageText.Append("\n");
    }
}
