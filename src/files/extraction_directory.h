// The per-run extraction directory: the one piece of process-wide state that the work flow
// creates, the launch hands to the Java side and the clean-up removes. Readable from any thread.
#pragma once

#include <string>

namespace files {

// Narrow path of this run's extraction directory; empty when none exists.
std::string extractionDirectory();
// The empty file whose unique name the directory's name was made from (GetTempFileName keeps
// it as the reservation); empty when unknown.
std::string extractionNameReservation();

// Whether the run made the directory itself, in the temporary base. Only such a directory is
// the clean-up's to remove: the extract-and-exit folder beside the executable (which may hold
// the caller's files from before) and the folder a language restart runs in are not.
enum class ExtractionOwner { Run, Caller };

void setExtractionDirectory(std::string directory, std::string nameReservation = std::string(),
                            ExtractionOwner owner = ExtractionOwner::Caller);
void clearExtractionDirectory();
// True when the recorded directory is one the run created itself.
bool extractionDirectoryIsOwnedByRun();

// Creates this run's extraction directory in the temporary base and records it; after ten
// failed attempts the run ends with internal error "7". Windows only (temporary_directory.cpp).
void createExtractionDirectory();

// Who may open the extraction directory: full access for the administrators, the owner and
// the local system, inherited by everything below; the protected DACL keeps the temporary
// folder's own (often wider) entries out.
inline constexpr wchar_t kExtractionDirectorySddl[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;OW)(A;OICI;FA;;;SY)";

}  // namespace files
