// What the stand-in unpack200.exe takes for a packed archive: this line, then the jar's bytes.
#pragma once

namespace stand_in {

inline constexpr char kPackedMarker[] = "stand-in pack200\n";

}  // namespace stand_in
