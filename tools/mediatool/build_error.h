#pragma once

#include <stdexcept>

namespace media {

// Every failure of the media tools: a bad description, an unreadable input, a template that
// is no PE image, a damaged media file. The text is one line meant for the user.
class MediaBuildError : public std::runtime_error {
public:
    using runtime_error::runtime_error;
};

}  // namespace media
