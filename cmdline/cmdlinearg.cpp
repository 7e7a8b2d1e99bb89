#include "cmdline/cmdlinearg.h"

#include <cstddef>

#include "cmdline/bytecase.h"

namespace {

const char kNoLabel[] = "";

bool IsConversionSpace(unsigned char byte)
{
    return byte == ' ' || (byte >= 0x09 && byte <= 0x0D);
}

// Never fails, never overflows: the total is kept in uint32_t so that a text
// beyond the 32-bit range wraps instead of being undefined.
int32_t ConvertIntText(const char* text)
{
    const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
    while (IsConversionSpace(*in)) {
        ++in;
    }
    const bool negative = *in == '-';
    if (*in == '+' || *in == '-') {
        ++in;
    }
    uint32_t total = 0;
    for (; *in >= '0' && *in <= '9'; ++in) {
        total = total * 10u + static_cast<uint32_t>(*in - '0');
    }
    if (negative) {
        total = 0u - total;
    }
    return static_cast<int32_t>(total);
}

void AppendDecimal(CStrBuf& out, int32_t value)
{
    char digits[12];
    char* first = digits + sizeof digits;
    *--first = '\0';
    // The magnitude as unsigned, so that the most negative value has one.
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    do {
        *--first = static_cast<char>('0' + magnitude % 10u);
        magnitude /= 10u;
    } while (magnitude != 0);
    if (value < 0) {
        *--first = '-';
    }
    out.Append(first);
}

void OpenChoicesLabel(CStrBuf& label, bool first)
{
    if (first) {
        label.Assign("{");
    } else {
        label.Append("|");
    }
}

}  // namespace

// --- CCmdLineArg -------------------------------------------------------------

CCmdLineArg::CCmdLineArg(const char* name, const char* description, unsigned flags)
    : m_name(name), m_description(description), m_flags(flags), m_given(false)
{
}

CCmdLineArg::~CCmdLineArg() = default;

bool CCmdLineArg::ExpectsValue() const
{
    return true;
}

bool CCmdLineArg::SetValue(const char* /*text*/)
{
    m_given = true;
    return true;
}

// --- CCmdLineArgString -------------------------------------------------------

CCmdLineArgString::CCmdLineArgString(const char* name, const char* description, const char* defaultValue,
                                     unsigned flags)
    : CCmdLineArg(name, description, flags), m_default(defaultValue)
{
}

const char* CCmdLineArgString::GetTypeLabel() const
{
    return "<string>";
}

const char* CCmdLineArgString::GetChoicesLabel()
{
    if (m_choices.empty()) {
        return kNoLabel;
    }
    for (std::size_t i = 0; i < m_choices.size(); ++i) {
        OpenChoicesLabel(m_choicesLabel, i == 0);
        m_choicesLabel.Append(m_choices[i].GetText());
    }
    m_choicesLabel.Append("}");
    return m_choicesLabel.GetText();
}

bool CCmdLineArgString::IsValidValue(const char* text) const
{
    if (m_choices.empty()) {
        return true;
    }
    const char* value = text != nullptr ? text : kNoLabel;
    for (const CStrBuf& choice : m_choices) {
        if (EqualsFolded(value, choice.GetText())) {
            return true;
        }
    }
    return false;
}

bool CCmdLineArgString::SetValue(const char* text)
{
    CCmdLineArg::SetValue(text);
    m_value.Assign(text);
    return true;
}

const char* CCmdLineArgString::GetValue() const
{
    return IsGiven() ? m_value.GetText() : m_default.GetText();
}

void CCmdLineArgString::AddChoice(const char* value)
{
    m_choices.emplace_back(value);
}

// --- CCmdLineArgInt ----------------------------------------------------------

CCmdLineArgInt::CCmdLineArgInt(const char* name, const char* description, int defaultValue, unsigned flags)
    : CCmdLineArg(name, description, flags), m_default(defaultValue), m_value(defaultValue)
{
}

const char* CCmdLineArgInt::GetTypeLabel() const
{
    return "<int>";
}

const char* CCmdLineArgInt::GetChoicesLabel()
{
    if (m_choices.empty()) {
        return kNoLabel;
    }
    for (std::size_t i = 0; i < m_choices.size(); ++i) {
        OpenChoicesLabel(m_choicesLabel, i == 0);
        AppendDecimal(m_choicesLabel, m_choices[i]);
    }
    m_choicesLabel.Append("}");
    return m_choicesLabel.GetText();
}

bool CCmdLineArgInt::IsValidValue(const char* text) const
{
    if (m_choices.empty()) {
        return true;
    }
    const int32_t value = ConvertIntText(text != nullptr ? text : kNoLabel);
    for (const int32_t choice : m_choices) {
        if (choice == value) {
            return true;
        }
    }
    return false;
}

bool CCmdLineArgInt::SetValue(const char* text)
{
    CCmdLineArg::SetValue(text);
    m_value = ConvertIntText(text != nullptr ? text : kNoLabel);
    return true;
}

int CCmdLineArgInt::GetValue() const
{
    return IsGiven() ? m_value : m_default;
}

void CCmdLineArgInt::AddChoice(int value)
{
    m_choices.push_back(value);
}

// --- CCmdLineArgToggle -------------------------------------------------------

CCmdLineArgToggle::CCmdLineArgToggle(const char* name, const char* description, bool defaultValue, bool showSign,
                                     unsigned flags)
    : CCmdLineArg(name, description, flags), m_default(defaultValue), m_showSign(showSign), m_value(defaultValue)
{
}

const char* CCmdLineArgToggle::GetTypeLabel() const
{
    return kNoLabel;
}

bool CCmdLineArgToggle::ExpectsValue() const
{
    return false;
}

const char* CCmdLineArgToggle::GetChoicesLabel()
{
    return m_showSign ? "{+|-}" : kNoLabel;
}

bool CCmdLineArgToggle::IsValidValue(const char* text) const
{
    if (text == nullptr || text[0] == '\0') {
        return true;
    }
    return (text[0] == '+' || text[0] == '-') && text[1] == '\0';
}

bool CCmdLineArgToggle::SetValue(const char* text)
{
    CCmdLineArg::SetValue(text);
    const char first = text != nullptr ? text[0] : '\0';
    if (first == '\0' || first == '+') {
        m_value = true;
        return true;
    }
    if (first == '-') {
        m_value = false;
        return true;
    }
    return false;
}

bool CCmdLineArgToggle::GetValue() const
{
    return IsGiven() ? m_value : m_default;
}
