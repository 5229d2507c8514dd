// mediatool: builds media files from a JSON description and looks into existing ones.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/text.h"
#include "mediatool/branding.h"
#include "mediatool/config_settings.h"
#include "mediatool/file_access.h"
#include "mediatool/media_report.h"
#include "mediatool/media_writer.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr const char* kUsage =
    "usage: mediatool build DESCRIPTION.json -o OUTPUT.exe [--arch x86|x64] [--template LAUNCHER.exe]\n"
    "       mediatool inspect MEDIAFILE\n"
    "       mediatool verify MEDIAFILE\n"
    "       mediatool extract MEDIAFILE DIRECTORY\n"
    "       mediatool settings\n"
    "\n"
    "build    writes OUTPUT.exe: the template followed by the payload the description asks for;\n"
    "         the template is --template, else the launcher of --arch beside mediatool:\n"
    "         launcher.exe for x86 (the default), launcher64.exe for x64\n"
    "inspect  prints the payload of a media file as JSON\n"
    "verify   exits with 0 only when the payload is intact\n"
    "extract  writes the included files into DIRECTORY\n"
    "settings prints the named config settings (name, id, kind, meaning) and the branding keys\n";

// Distinguishes wrong usage (exit code 2) from a failed operation (exit code 1).
struct UsageError {
    std::string text;
};

std::string executableDirectory() {
#ifdef _WIN32
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return ".";
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return media::displayPath(std::filesystem::path(path).parent_path());
#else
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
#endif
}

std::string readDescription(const std::string& path) {
    std::ifstream in(media::nativePath(path), std::ios::binary);
    if (!in) throw media::MediaBuildError("cannot open description " + path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw media::MediaBuildError("cannot read description " + path);
    return text;
}

void writeOut(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

// The launcher template of each machine, as shipped beside mediatool.
std::string launcherFileFor(const std::string& arch) {
    if (arch == "x86") return "launcher.exe";
    if (arch == "x64") return "launcher64.exe";
    throw UsageError{"--arch is x86 or x64, not " + arch};
}

bool stderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

// The percentage of a long build on one line of standard error, rewritten in place; only for
// builds over 64 MB and only on a terminal, so logs and pipes stay clean.
class BuildProgressLine {
public:
    BuildProgressLine() = default;
    BuildProgressLine(const BuildProgressLine&) = delete;
    BuildProgressLine& operator=(const BuildProgressLine&) = delete;
    media::BuildProgress reporter() {
        if (!stderrIsTerminal()) return {};
        return [this](const char* step, int64_t done, int64_t total) {
            if (total <= kThreshold) return;
            const int percent = static_cast<int>(done * 100 / total);
            if (percent == percent_ && step == step_) return;
            if (step != step_ && shown_) std::fputc('\n', stderr);
            step_ = step;
            percent_ = percent;
            shown_ = true;
            std::fprintf(stderr, "\rmediatool: %s %3d%%", step, percent);
            std::fflush(stderr);
        };
    }
    // Also on the way out of a failed build, so that its error starts a line of its own.
    ~BuildProgressLine() { finish(); }
    void finish() {
        if (shown_) std::fputc('\n', stderr);
        shown_ = false;
    }

private:
    static constexpr int64_t kThreshold = 64 * 1024 * 1024;
    const char* step_ = nullptr;
    int percent_ = -1;
    bool shown_ = false;
};

int build(const std::vector<std::string>& args) {
    std::string description;
    std::string output;
    std::string templatePath;
    std::string arch = "x86";
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-o" || arg == "--output" || arg == "--template" || arg == "--arch") {
            if (i + 1 == args.size()) throw UsageError{arg + " needs a value"};
            (arg == "--template" ? templatePath : arg == "--arch" ? arch : output) = args[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError{"unknown option " + arg};
        } else if (description.empty()) {
            description = arg;
        } else {
            throw UsageError{"unexpected argument " + arg};
        }
    }
    if (description.empty() || output.empty()) throw UsageError{"build needs a description and -o OUTPUT"};
    const std::string launcherFile = launcherFileFor(arch);
    if (templatePath.empty()) {
        templatePath = media::displayPath(media::nativePath(executableDirectory()) / launcherFile);
        std::error_code error;
        if (!std::filesystem::is_regular_file(media::nativePath(templatePath), error)) {
            throw media::MediaBuildError("no template: " + templatePath + " does not exist; pass --template");
        }
    }
    const std::string baseDirectory = media::displayPath(media::nativePath(description).parent_path());
    const media::MediaDescription parsed = media::parseMediaDescription(readDescription(description), baseDirectory);
    BuildProgressLine progress;
    media::writeMediaFile(templatePath, parsed, output, progress.reporter());
    progress.finish();
    return 0;
}

int verify(const std::string& path) {
    const media::MediaInspection inspection = media::inspectMediaFile(path);
    if (!inspection.problem.empty()) throw media::MediaBuildError(path + " is damaged: " + inspection.problem);
    if (!inspection.checksumOk()) {
        char detail[96];
        std::snprintf(detail, sizeof detail, "checksum mismatch (stored 0x%08X, computed 0x%08X)",
                      static_cast<unsigned>(inspection.header.expectedChecksum),
                      static_cast<unsigned>(inspection.computedChecksum));
        throw media::MediaBuildError(path + " is damaged: " + detail);
    }
    char summary[128];
    std::snprintf(summary, sizeof summary, ": intact (%zu included files, %lld bytes covered, %s)\n",
                  inspection.files.size(), static_cast<long long>(inspection.header.coveredLength),
                  inspection.header.checkFlag != 0 ? "checksum verified" : "no checksum");
    writeOut(path + summary);
    return 0;
}

int run(const std::vector<std::string>& args) {
    if (args.empty()) throw UsageError{"no command given"};
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "-h" || command == "--help" || command == "help") {
        writeOut(kUsage);
        return 0;
    }
    if (command == "build") return build(rest);
    if (command == "settings" && rest.empty()) {
        writeOut(media::configSettingsMarkdown() + "\nBranding (the \"branding\" block):\n\n" +
                 media::brandingSettingsMarkdown());
        return 0;
    }
    if (command == "inspect" && rest.size() == 1) {
        writeOut(media::inspectionJson(media::inspectMediaFile(rest[0])));
        return 0;
    }
    if (command == "verify" && rest.size() == 1) return verify(rest[0]);
    if (command == "extract" && rest.size() == 2) {
        media::extractMediaFiles(rest[0], rest[1]);
        return 0;
    }
    if (command == "inspect" || command == "verify" || command == "extract" || command == "settings") {
        throw UsageError{"wrong number of arguments for " + command};
    }
    throw UsageError{"unknown command " + command};
}

int runGuarded(const std::vector<std::string>& args) {
    media::removeTemporaryFilesOnInterrupt();
    try {
        return run(args);
    } catch (const UsageError& error) {
        std::fprintf(stderr, "mediatool: %s\n%s", error.text.c_str(), kUsage);
        return 2;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "mediatool: out of memory\n");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "mediatool: %s\n", error.what());
    }
    return 1;
}

}  // namespace

#ifdef _WIN32
// The wide entry point keeps paths outside the ANSI code page intact; they travel as UTF-8
// from here on.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(base::wideToUtf8(argv[i]));
    return runGuarded(args);
}
#else
int main(int argc, char** argv) { return runGuarded(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
