// What ObjectPicker.show0 asks the directory object picker for, built apart from showing it:
// the picker is a stub on some systems, and what reaches it is worth checking on its own.
#pragma once

#include <windows.h>

#include <ole2.h>

#include <objsel.h>

namespace natives {

// One scope and its init info, pointing into each other: filled in place, never copied.
struct ObjectPickerRequest {
    DSOP_SCOPE_INIT_INFO scope;
    DSOP_INIT_INFO init;
    PCWSTR attributes[1];

    ObjectPickerRequest(bool multiSelect, bool groups, bool users, bool wellKnownPrincipals, bool computerOnly);
    ObjectPickerRequest(const ObjectPickerRequest&) = delete;
    ObjectPickerRequest& operator=(const ObjectPickerRequest&) = delete;
};

}  // namespace natives
