#include "files/extraction_directory.h"

#include <mutex>

namespace files {

namespace {

struct ExtractionState {
    std::mutex lock;
    std::string directory;
    std::string nameReservation;
    ExtractionOwner owner = ExtractionOwner::Caller;
};

ExtractionState& state() {
    // Never destroyed: the clean-up may read it while the process is ending.
    static ExtractionState* instance = new ExtractionState;
    return *instance;
}

}  // namespace

std::string extractionDirectory() {
    ExtractionState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.directory;
}

std::string extractionNameReservation() {
    ExtractionState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.nameReservation;
}

void setExtractionDirectory(std::string directory, std::string nameReservation, ExtractionOwner owner) {
    ExtractionState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.directory = std::move(directory);
    s.nameReservation = std::move(nameReservation);
    s.owner = owner;
}

bool extractionDirectoryIsOwnedByRun() {
    ExtractionState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return !s.directory.empty() && s.owner == ExtractionOwner::Run;
}

void clearExtractionDirectory() { setExtractionDirectory(std::string(), std::string()); }

}  // namespace files
