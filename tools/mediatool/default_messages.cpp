// The English texts every media file carries unless the description says otherwise. Texts
// with "{0}" get one argument from the launcher's error path; 20006 is a printf-style format
// that receives the bitness through "%S".
#include "mediatool/media_writer.h"

namespace media {

const MessageTable& defaultMessageTable() {
    static const MessageTable table = {
        {1000, L"Error"},
        {1001, L"The installer could not be started."},
        {1002, L"The installation file could not be read."},
        {1003, L"The installer could not create its temporary files."},
        {1004, L"The installer ran out of memory."},
        {1005, L"Could not start JVM."},
        {1006, L"A required class path entry is missing: {0}"},
        {1007, L"A required module path entry is missing: {0}"},
        {1008, L"The environment variable {0} of a required class path entry is not defined."},
        {1009, L"An internal error occurred (error code: {0})"},
        {1010, L"The main class of the installer could not be found."},
        {1011, L"The main method of the installer could not be found."},
        {1012, L"The Java runtime could not be loaded."},
        {1013, L"The VM options file could not be read: {0}"},
        {1014, L"The installer is already running."},
        {1015, L"You must be at least Poweruser to run this program."},
        {1016, L"No suitable {0}-bit Java runtime was found on this computer."},
        {1017, L"The Java runtime named by the environment variable {0} cannot be used."},
        {1018, L"The bundled Java runtime is corrupted. If it is a download please try it again."},
        {1019, L"The Java runtime at {0} cannot be used."},
        {1020, L"The bundled Java runtime could not be unpacked."},
        {1021, L"The packed archives of the bundled Java runtime could not be unpacked."},
        {20004, L"Locate java.exe"},
        {20005, L"Java executable"},
        {20006, L"No suitable %S-bit Java runtime was found on this computer. Please locate a java.exe."},
        {20007, L"Preparing the installer..."},
        {20008, L"Extracting files..."},
        {20009, L"Verifying the installation file..."},
        {20010, L"Starting the installer..."},
        {20011, L"Locate..."},
        {20012, L"Cancel"},
        {20013, L"Setup"},
        {20014, L"The installer did not start in time. Please try again."},
        {20015, L"The installer was cancelled."},
        {20016, L"The installation file is corrupted. If it is a download please try it again."},
        {20017, L"Unpacking the Java runtime..."},
        {20018, L"Not Enough Disk Space"},
        {20019, L"minimum version"},
        {20020, L"maximum version"},
        {20021, L"No suitable JDK could be found. Please use an installer with a bundled JDK."},
    };
    return table;
}

}  // namespace media
