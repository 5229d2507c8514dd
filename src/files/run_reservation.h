// A run's claim on its extraction directory, and the sweep of the directories whose runs have
// ended without removing them (ended from the Task Manager, a crash, a lost power supply).
//
// The claim is the reservation file that GetTempFileName made for the directory's name
// ("lmb1A2B.tmp" beside "lmb1A2B.tmp_dir1700000000"): the run marks it and holds it open
// without delete sharing for its whole life. The handle is inheritable, so whatever the run
// starts with inherited handles (its deletion child, the programs the Java side runs, a language
// restart) keeps the claim alive until it ends too. A marked reservation that nobody holds
// belongs to a run that is over: the sweep removes its directories, then the reservation. An
// unmarked one (a run that is just starting, another program's file, an older launcher's run)
// is never touched.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace files {

// Marks the reservation file and holds it for the rest of the process; false when it could not
// be opened or marked (the directory is then made without a claim, as before).
bool holdReservation(const std::wstring& reservation);
// Joins the claim on a directory this process did not make (a language restart runs in the
// directory of the run that restarted it); nothing when that directory has no marked reservation.
void joinReservationOf(const std::wstring& extractionDirectory);
// Lets go of the claim, before the reservation is deleted at the end of a run.
void releaseReservation();

// The deletion child inherits the claim of the run that started it (the run's own child, or
// the one the Java side starts at its end), and with it the duty to delete the reservation once
// the directory is gone: it closes the handles it inherited to the reservation of each launcher
// directory it has removed, and deletes the reservation.
void deleteReservationsOfRemovedDirectories(const std::vector<std::wstring>& directories);

struct SweepOutcome {
    int removed = 0;  // directories of ended runs removed, with their reservations
    int kept = 0;     // ended runs whose directories could not be removed completely yet
};
// Removes what ended runs left in `base`: each marked reservation nobody holds, after its
// directories. Starts no new removal once `budgetMilliseconds` have passed; what is left then
// waits for a later run.
SweepOutcome sweepEndedRuns(const std::wstring& base, DWORD budgetMilliseconds);

}  // namespace files
