#include "simulator/SimulatorLog.h"

#include "shared/LibraryDirectory.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace simulator {

namespace {

struct ScriptLine {
    std::string function;
    long call; // 0 = every call
    std::int32_t result;
    long delayMs; // how long the call takes: a slow printer, a paper change
};

struct State {
    std::string directory; // of the library file, with its '/'
    std::vector<ScriptLine> script;
    std::vector<std::pair<std::string, long>> calls;
};

// Plain pointers, set at load and freed at unload: no static object of the library
// outlives it or keeps it from being unloaded.
State *g_state = nullptr;

// fiscal-simulator.txt: lines "FUNCTION N RESULT [MS]" (N a number from 1, or *; MS how
// many milliseconds the call takes); '#' starts a comment.
void ReadScript(State &state)
{
    FILE *file = std::fopen((state.directory + "fiscal-simulator.txt").c_str(), "re");
    if (!file)
        return;
    char line[512];
    while (std::fgets(line, sizeof line, file)) {
        if (char *hash = std::strchr(line, '#'))
            *hash = '\0';
        char function[128];
        char call[32];
        long result = 0;
        long delayMs = 0;
        if (std::sscanf(line, "%127s %31s %ld %ld", function, call, &result, &delayMs) < 3)
            continue;
        const long n = std::strcmp(call, "*") == 0 ? 0 : std::strtol(call, nullptr, 10);
        if (n < 0 || (n == 0 && std::strcmp(call, "*") != 0))
            continue;
        state.script.push_back({function, n, std::int32_t(result), delayMs < 0 ? 0 : delayMs});
    }
    std::fclose(file);
}

void Append(const std::string &line)
{
    if (!g_state)
        return;
    const std::string path = g_state->directory + "fiscal-simulator.log";
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const std::string text = line + "\n";
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += std::size_t(n);
    }
    ::close(fd);
}

// The 18 Polish letters: ą ś ż ź ć ę ń ł ó Ą Ś Ż Ź Ć Ę Ń Ł Ó.
const char *const Utf8Letters[18] = {"ą", "ś", "ż", "ź", "ć", "ę", "ń", "ł", "ó",
                                     "Ą", "Ś", "Ż", "Ź", "Ć", "Ę", "Ń", "Ł", "Ó"};
const unsigned char Cp852Letters[18] = {0xA5, 0x98, 0xBE, 0xAB, 0x86, 0xA9, 0xE4, 0x88, 0xA2,
                                        0xA4, 0x97, 0xBD, 0x8D, 0x8F, 0xA8, 0xE3, 0x9D, 0xE0};
const unsigned char MazoviaLetters[18] = {0x86, 0x9E, 0xA7, 0xA6, 0x8D, 0x91, 0xA4, 0x92, 0xA2,
                                          0x8F, 0x98, 0xA1, 0xA0, 0x95, 0x90, 0xA5, 0x9C, 0xA3};

} // namespace

void Loaded()
{
    g_state = new State;
    g_state->directory = driverlib::LibraryDirectory();
    ReadScript(*g_state);
    Append("-- loaded");
}

void Unloaded()
{
    Append("-- unloaded");
    delete g_state;
    g_state = nullptr;
}

std::int32_t Result(const char *function, std::int32_t normal)
{
    if (!g_state)
        return normal;
    long count = 0;
    bool counted = false;
    for (auto &entry : g_state->calls) {
        if (entry.first == function) {
            count = ++entry.second;
            counted = true;
        }
    }
    if (!counted) {
        g_state->calls.emplace_back(function, 1);
        count = 1;
    }
    const ScriptLine *every = nullptr;
    const ScriptLine *match = nullptr;
    for (const ScriptLine &line : g_state->script) {
        if (line.function != function)
            continue;
        if (line.call == count) {
            match = &line;
            break;
        }
        if (line.call == 0 && !every)
            every = &line;
    }
    if (!match)
        match = every;
    if (!match)
        return normal;
    if (match->delayMs > 0)
        ::usleep(useconds_t(match->delayMs) * 1000);
    return match->result;
}

void LogCall(const char *function, const std::string &arguments, std::int32_t result)
{
    Append(std::string(function) + "(" + arguments + ") = " + Number(result));
}

std::string Number(std::int64_t value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value));
    return buffer;
}

std::string Text(const char *text, CodePage codePage)
{
    if (!text)
        return "null";
    const unsigned char *letters = codePage == CodePage::Cp852 ? Cp852Letters : MazoviaLetters;
    std::string out = "\"";
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; ++p) {
        const unsigned char c = *p;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
            continue;
        }
        if (c >= 0x20 && c < 0x7F) {
            out += char(c);
            continue;
        }
        const char *letter = nullptr;
        for (int k = 0; k < 18 && !letter; ++k) {
            if (letters[k] == c)
                letter = Utf8Letters[k];
        }
        if (letter) {
            out += letter;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out + "\"";
}

} // namespace simulator
