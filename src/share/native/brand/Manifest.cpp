#include "Manifest.h"

#include <stdexcept>

#include "ErrorHandling.h"

namespace {

[[noreturn]] void unusable(const std::string& why) {
    throwWithPosition(std::runtime_error("Cannot set the execution level in the manifest: " + why));
}

bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.' || c == ':';
}

// The "<" of the first element named name, with or without a namespace
// prefix ("<name" or "<prefix:name"), or npos.
std::size_t findElement(const std::string& text, const std::string& name) {
    for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
        const std::size_t end = at + name.size();
        if (at == 0 || (end < text.size() && isNameChar(text[end]))) {
            continue;
        }
        std::size_t start = at;
        if (text[start - 1] == ':') {
            --start;
            while (start > 0 && isNameChar(text[start - 1]) && text[start - 1] != ':') {
                --start;
            }
        }
        if (start > 0 && text[start - 1] == '<') {
            return start - 1;
        }
    }
    return std::string::npos;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

namespace Manifest {

bool isExecutionLevel(const std::string& level) {
    return level == "asInvoker" || level == "highestAvailable" || level == "requireAdministrator";
}

std::string withExecutionLevel(const std::string& manifest, const std::string& level) {
    const std::size_t element = findElement(manifest, "requestedExecutionLevel");
    if (element == std::string::npos) {
        const std::size_t close = manifest.rfind("</assembly>");
        if (close == std::string::npos || findElement(manifest, "trustInfo") != std::string::npos) {
            unusable("it has no requestedExecutionLevel element to change");
        }
        return manifest.substr(0, close) +
               "<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\"><security><requestedPrivileges>"
               "<requestedExecutionLevel level=\"" + level +
               "\" uiAccess=\"false\"/></requestedPrivileges></security></trustInfo>\n" +
               manifest.substr(close);
    }
    const std::size_t end = manifest.find('>', element);
    if (end == std::string::npos) {
        unusable("its requestedExecutionLevel element is not closed");
    }
    // The attribute "level", not "uiAccess" or another that ends the same.
    for (std::size_t at = manifest.find("level", element); at != std::string::npos && at < end;
         at = manifest.find("level", at + 1)) {
        if (isNameChar(manifest[at - 1])) {
            continue;
        }
        std::size_t next = at + 5;
        while (next < end && isBlank(manifest[next])) {
            ++next;
        }
        if (next >= end || manifest[next] != '=') {
            continue;
        }
        ++next;
        while (next < end && isBlank(manifest[next])) {
            ++next;
        }
        const char quote = next < end ? manifest[next] : '\0';
        const std::size_t valueEnd = quote == '"' || quote == '\'' ? manifest.find(quote, next + 1)
                                                                    : std::string::npos;
        if (valueEnd == std::string::npos || valueEnd > end) {
            unusable("its level attribute is not quoted");
        }
        return manifest.substr(0, next + 1) + level + manifest.substr(valueEnd);
    }
    unusable("its requestedExecutionLevel element has no level attribute");
}

} // namespace Manifest
