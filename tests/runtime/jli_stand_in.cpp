// Stand-in for a runtime's bin\jli.dll: the three functions with which a launcher expands
// "@argfiles" into options, with the prototypes of the JDK's own jli_util.h (JNICALL, which is
// stdcall on 32-bit Windows; exported under the plain names):
//   void     JLI_InitArgProcessing(jboolean hasJavaArgs, jboolean disableArgFile)
//   JLI_List JLI_PreprocessArg(const char* arg, jboolean expandSourceOpt)
//   void     JLI_MemFree(void* pointer)
// JLI_List points to { char** elements; size_t size; size_t capacity; }; the list, its element
// array and each element come from this library's allocator and go back through JLI_MemFree.
//
// JLI_PreprocessArg returns null for an argument that does not start with "@", for "@" alone
// and while argument files are disabled; "@@text" gives the one element "@text"; "@file"
// gives the options read from the file: separated by white space, single or double quotes
// group (with \n, \t, \r, \f and \\ escapes inside them), "#" at the start of a token comments
// out the rest of the line. As in a real runtime, a file that cannot be read ends the process
// with exit code 1 after "Error: could not open `<file>'" on standard error. The "--source"
// expansion of expandSourceOpt is not modelled.
#include <windows.h>

#include <jni.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct JliList {
    char** elements;
    size_t size;
    size_t capacity;
};

bool argumentFilesDisabled = false;

std::string readWholeFile(const char* name, bool& ok) {
    std::string bytes;
    const HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ok = file != INVALID_HANDLE_VALUE;
    if (!ok) return bytes;
    char piece[4096];
    DWORD got = 0;
    while (ReadFile(file, piece, sizeof piece, &got, nullptr) && got > 0) bytes.append(piece, got);
    CloseHandle(file);
    return bytes;
}

char escaped(char c) {
    switch (c) {
    case 'n': return '\n';
    case 't': return '\t';
    case 'r': return '\r';
    case 'f': return '\f';
    default: return c;
    }
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

std::vector<std::string> tokens(const std::string& text) {
    std::vector<std::string> result;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isSpace(text[i])) ++i;
        if (i >= text.size()) break;
        if (text[i] == '#') {
            while (i < text.size() && text[i] != '\n' && text[i] != '\r') ++i;
            continue;
        }
        std::string token;
        while (i < text.size() && !isSpace(text[i])) {
            const char c = text[i++];
            if (c != '"' && c != '\'') {
                token += c;
                continue;
            }
            // A quoted part ends at its closing quote or, unclosed, at the end of the line.
            while (i < text.size() && text[i] != c && text[i] != '\n' && text[i] != '\r') {
                if (text[i] == '\\' && i + 1 < text.size()) {
                    token += escaped(text[i + 1]);
                    i += 2;
                } else {
                    token += text[i++];
                }
            }
            if (i < text.size() && text[i] == c) ++i;
        }
        result.push_back(token);
    }
    return result;
}

char* duplicate(const std::string& text) {
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

JliList* newList(const std::vector<std::string>& elements) {
    auto* list = static_cast<JliList*>(std::malloc(sizeof(JliList)));
    list->capacity = elements.empty() ? 1 : elements.size();
    list->size = elements.size();
    list->elements = static_cast<char**>(std::malloc(list->capacity * sizeof(char*)));
    for (size_t i = 0; i < elements.size(); ++i) list->elements[i] = duplicate(elements[i]);
    return list;
}

}  // namespace

extern "C" {

JNIEXPORT void JNICALL JLI_InitArgProcessing(jboolean hasJavaArgs, jboolean disableArgFile) {
    argumentFilesDisabled = disableArgFile != JNI_FALSE;
}

JNIEXPORT JliList* JNICALL JLI_PreprocessArg(const char* arg, jboolean expandSourceOpt) {
    if (arg == nullptr || argumentFilesDisabled || arg[0] != '@' || arg[1] == '\0') return nullptr;
    if (arg[1] == '@') return newList({arg + 1});
    bool ok = false;
    const std::string text = readWholeFile(arg + 1, ok);
    if (!ok) {
        const std::string message = std::string("Error: could not open `") + (arg + 1) + "'\n";
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), message.data(), static_cast<DWORD>(message.size()), &written, nullptr);
        std::exit(1);
    }
    return newList(tokens(text));
}

JNIEXPORT void JNICALL JLI_MemFree(void* pointer) { std::free(pointer); }

}  // extern "C"
