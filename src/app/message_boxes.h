#pragma once
// The modal boxes the window shows for an error code. The window only asks through this
// interface, so tests answer the boxes themselves.

#include <string>

namespace kivota {

class IMessageBoxes {
public:
    virtual ~IMessageBoxes() = default;
    // Information icon, OK button.
    virtual void information(const std::string& caption, const std::string& text) = 0;
    // Stop icon, OK button.
    virtual void stop(const std::string& caption, const std::string& text) = 0;
    // Stop icon, Retry and Cancel buttons; true when the user chose Retry.
    virtual bool retryCancel(const std::string& caption, const std::string& text) = 0;
};

}  // namespace kivota
