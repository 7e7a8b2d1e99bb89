#pragma once

#include <initializer_list>
#include <string>
#include <vector>

// argv for Parse: the program name, then the given texts, all writable.
class Argv {
public:
    Argv(std::initializer_list<const char*> texts) : m_texts{"glyphmill"}
    {
        m_texts.insert(m_texts.end(), texts.begin(), texts.end());
        for (std::string& text : m_texts) {
            m_pointers.push_back(&text[0]);
        }
        m_pointers.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(m_texts.size()); }
    char** argv() { return m_pointers.data(); }

private:
    std::vector<std::string> m_texts;
    std::vector<char*> m_pointers;
};
