#include "util/ShellWords.h"

std::optional<std::vector<std::string>> SplitShellWords(const std::string& strCommand) {
    std::vector<std::string> words;
    std::string word;
    bool bInWord = false; // a quoted empty string is a word too
    const std::size_t n = strCommand.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char c = strCommand[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (bInWord)
                words.push_back(std::move(word));
            word.clear();
            bInWord = false;
        } else if (c == '\\') {
            if (++i == n)
                return std::nullopt;
            if (strCommand[i] != '\n') {
                word += strCommand[i];
                bInWord = true;
            }
        } else if (c == '\'') {
            const std::size_t close = strCommand.find('\'', i + 1);
            if (close == std::string::npos)
                return std::nullopt;
            word.append(strCommand, i + 1, close - i - 1);
            i = close;
            bInWord = true;
        } else if (c == '"') {
            bInWord = true;
            for (++i;; ++i) {
                if (i == n)
                    return std::nullopt;
                const char d = strCommand[i];
                if (d == '"')
                    break;
                if (d == '\\' && i + 1 < n) {
                    const char e = strCommand[i + 1];
                    if (e == '$' || e == '`' || e == '"' || e == '\\' || e == '\n') {
                        if (e != '\n')
                            word += e;
                        ++i;
                        continue;
                    }
                }
                word += d;
            }
        } else {
            word += c;
            bInWord = true;
        }
    }
    if (bInWord)
        words.push_back(std::move(word));
    return words;
}
