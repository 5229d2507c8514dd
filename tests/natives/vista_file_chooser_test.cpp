// VistaFileChooser.displayDialog0: the common item dialog shown by the native and worked by a
// second program, which reports its controls (check boxes, group, filter) and confirms or
// cancels it; the paths and check box states as Java sees them.
#include <windows.h>

#include <shobjidl.h>

#include <optional>
#include <string>
#include <vector>

#include "harness/natives_test.h"
#include "dialog_peer_process.h"

namespace natives_test {
namespace {

using Lines = std::vector<std::wstring>;

struct Request {
    bool save = false;
    jint setOptions = 0;
    jint clearOptions = 0;
    std::wstring folder;
    std::optional<std::wstring> fileName;
    std::vector<std::wstring> checkLabels;
    std::vector<jboolean> checkStates;
    jint filterIndex = -1;
};

class FileChooserNatives : public NativesTest {
protected:
    void SetUp() override {
        NativesTest::SetUp();
        callVoid("VistaFileChooser.initialize0", {});
    }

    jbooleanArray states(const std::vector<jboolean>& values) {
        const jbooleanArray array = env()->NewBooleanArray(static_cast<jsize>(values.size()));
        env()->SetBooleanArrayRegion(array, 0, static_cast<jsize>(values.size()), values.data());
        return array;
    }
    std::vector<jboolean> statesOf(jbooleanArray array) {
        std::vector<jboolean> values(static_cast<size_t>(env()->GetArrayLength(array)));
        env()->GetBooleanArrayRegion(array, 0, static_cast<jsize>(values.size()), values.data());
        return values;
    }

    // The result as Java sees it; the peer's report in `seen`, the states array in `stateArray`.
    std::optional<std::vector<std::wstring>> show(const Request& request, const std::vector<std::wstring>& actions,
                                                  Lines& seen, jbooleanArray* stateArray = nullptr) {
        jobjectArray labels = nullptr;
        if (!request.checkLabels.empty()) {
            const jclass stringClass = env()->FindClass("java/lang/String");
            labels = env()->NewObjectArray(static_cast<jsize>(request.checkLabels.size()), stringClass, nullptr);
            for (size_t i = 0; i < request.checkLabels.size(); ++i)
                env()->SetObjectArrayElement(labels, static_cast<jsize>(i), javaString(request.checkLabels[i]));
        }
        const jbooleanArray checkStates = request.checkLabels.empty() ? nullptr : states(request.checkStates);
        if (stateArray) *stateArray = checkStates;
        DialogPeer peer = dialogPeer(actions);
        const jobject result = callObject(
            "VistaFileChooser.displayDialog0",
            {0, javaString(L"Choose \u0416"), javaString(L"Take it"), javaString(request.folder),
             request.fileName ? static_cast<jobject>(javaString(*request.fileName)) : nullptr, request.setOptions,
             request.clearOptions, request.save ? 1 : 0, javaString(L"txt"),
             javaStrings({L"Text files", L"Logs", L"Everything"}), javaStrings({L"*.txt", L"*.log", L"*.*"}),
             request.filterIndex, labels, checkStates});
        seen = peer.finish();
        return textsOf(result);
    }

    ScratchFolder folder;
};

bool hasLine(const Lines& lines, const std::wstring& part) {
    for (const std::wstring& line : lines)
        if (line.find(part) != std::wstring::npos) return true;
    return false;
}

// The ids of the dialog's own controls that the peer works: the file name box and OK, Cancel.
const std::wstring kFileName = L"type=1152=";
const std::wstring kOk = L"press=1";
const std::wstring kCancel = L"press=2";

TEST_F(FileChooserNatives, OpenWithMultipleSelectionGivesThePathsInTheDialogsOrder) {
    for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt"}) folder.create(name);
    Request request;
    request.folder = folder.path();
    request.setOptions = FOS_ALLOWMULTISELECT;
    Lines seen;
    EXPECT_EQ(show(request, {kFileName + L"\"c.txt\" \"a.txt\" \"b.txt\"", kOk}, seen),
              (std::vector<std::wstring>{folder.file(L"c.txt"), folder.file(L"a.txt"), folder.file(L"b.txt")}))
        << testing::PrintToString(seen);
}

TEST_F(FileChooserNatives, PickingAFolderGivesItsPath) {
    const std::wstring chosen = folder.file(L"chosen");
    CreateDirectoryW(chosen.c_str(), nullptr);
    Request request;
    request.folder = folder.path();
    request.setOptions = FOS_PICKFOLDERS;
    Lines seen;
    EXPECT_EQ(show(request, {kFileName + chosen, kOk}, seen), std::vector<std::wstring>{chosen})
        << testing::PrintToString(seen);
}

TEST_F(FileChooserNatives, SaveGivesTheNewFilesPathAndTheFilterIndexSelectsAFilter) {
    Request request;
    request.save = true;
    request.folder = folder.path();
    // Wine's dialog leaves its file name box empty whatever SetFileName was given; the name is
    // typed as a user would.
    request.fileName = L"first.txt";
    request.filterIndex = 1;
    Lines seen;
    EXPECT_EQ(show(request, {L"wait=700", L"dump", kFileName + L"report.log", kOk}, seen),
              std::vector<std::wstring>{folder.file(L"report.log")})
        << testing::PrintToString(seen);
    EXPECT_TRUE(hasLine(seen, L"|1136|selected:Logs|"));
    EXPECT_TRUE(hasLine(seen, L"window|Choose \u0416|"));
    EXPECT_TRUE(hasLine(seen, L"|1|Take it|"));
}

TEST_F(FileChooserNatives, OneCheckBoxStandsAloneAndItsStateComesBack) {
    folder.create(L"a.txt");
    Request request;
    request.folder = folder.path();
    request.filterIndex = -1;
    request.checkLabels = {L"Keep a copy"};
    request.checkStates = {JNI_FALSE};
    Lines seen;
    jbooleanArray states = nullptr;
    EXPECT_EQ(show(request, {L"dump", L"tick=Keep a copy", kFileName + L"a.txt", kOk}, seen, &states),
              std::vector<std::wstring>{folder.file(L"a.txt")})
        << testing::PrintToString(seen);
    EXPECT_TRUE(hasLine(seen, L"|Button|8192|Keep a copy|0|")) << testing::PrintToString(seen);
    EXPECT_FALSE(hasLine(seen, L"|Options:|"));
    EXPECT_TRUE(hasLine(seen, L"|1136|selected:Text files|")) << "the index -1 keeps the default filter";
    EXPECT_EQ(statesOf(states), std::vector<jboolean>{JNI_TRUE});
}

TEST_F(FileChooserNatives, TwoCheckBoxesSitInTheOptionsGroupAndTheirStatesComeBack) {
    folder.create(L"a.txt");
    Request request;
    request.folder = folder.path();
    request.checkLabels = {L"Create a shortcut", L"Start it now"};
    request.checkStates = {JNI_TRUE, JNI_FALSE};
    Lines seen;
    jbooleanArray states = nullptr;
    EXPECT_EQ(show(request,
                   {L"dump", L"wait=700", L"shot=file_dialog", L"untick=Create a shortcut", L"tick=Start it now",
                    kFileName + L"a.txt", kOk},
                   seen, &states),
              std::vector<std::wstring>{folder.file(L"a.txt")})
        << testing::PrintToString(seen);
    EXPECT_TRUE(hasLine(seen, L"|Static|8192|Options:|")) << testing::PrintToString(seen);
    EXPECT_TRUE(hasLine(seen, L"|Button|8193|Create a shortcut|1|"));
    EXPECT_TRUE(hasLine(seen, L"|Button|8194|Start it now|0|"));
    EXPECT_EQ(statesOf(states), (std::vector<jboolean>{JNI_FALSE, JNI_TRUE}));
}

TEST_F(FileChooserNatives, CancelGivesNullAndLeavesTheStates) {
    Request request;
    request.folder = folder.path();
    request.checkLabels = {L"Create a shortcut", L"Start it now"};
    request.checkStates = {JNI_TRUE, JNI_FALSE};
    Lines seen;
    jbooleanArray states = nullptr;
    EXPECT_EQ(show(request, {L"untick=Create a shortcut", L"tick=Start it now", kCancel}, seen, &states), std::nullopt)
        << testing::PrintToString(seen);
    EXPECT_EQ(statesOf(states), (std::vector<jboolean>{JNI_TRUE, JNI_FALSE}));
}

}  // namespace
}  // namespace natives_test
