#include "SingleInstance.h"

#include <exception>
#include <stdexcept>

#include "ErrorHandling.h"
#include "InstanceMessage.h"
#include "Log.h"

const wchar_t instanceEndpointProperty[] = L"vantorix.instance-endpoint";

namespace {

// Why this start does not forward, as the one error that forwardToInstance
// traces. Out of line: every reason costs one call, not one exception's code.
[[noreturn]] void giveUp(const StringBuilder& why) {
    throwWithPosition(std::runtime_error(why.utf8()));
}

} // namespace

StreamConnection::StreamConnection(const WideString& endpoint)
    : endpoint(endpoint), deadline(std::chrono::steady_clock::now() + instanceExchangeBound) {}

void StreamConnection::send(const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        checkDeadline();
        done += sendSome(bytes.data() + done, bytes.size() - done);
    }
}

std::string StreamConnection::receive(std::size_t count) {
    std::string bytes(count, '\0');
    for (std::size_t done = 0; done < count;) {
        checkDeadline();
        const std::size_t received = receiveSome(&bytes[done], count - done);
        if (received == 0) {
            giveUp(StringBuilder() << "the instance at \"" << endpoint << "\" closed the connection");
        }
        done += received;
    }
    return bytes;
}

void StreamConnection::checkDeadline() const {
    if (std::chrono::steady_clock::now() > deadline) {
        giveUp(StringBuilder() << "the instance at \"" << endpoint << "\" did not answer in time");
    }
}

bool singleInstanceRequested(const CfgFile& cfgFile) {
    const PropertyTable& application = cfgFile.sectionProperties(SectionId::Application);
    const auto found = application.find(PropertyId::SingleInstance);
    return found != application.end() && lastValueOf(*found) == L"true";
}

bool forwardToInstance(const InstanceLink& link, const WideString& endpoint,
                       const WideStringList& arguments) {
    // Whatever goes wrong here, this start runs on its own: nothing of the
    // user's request is lost, at worst it opens a second instance.
    try {
        std::string message;
        WideString why;
        if (!InstanceMessage::encodeForward(link.workingDirectory(), arguments, message, why)) {
            giveUp(StringBuilder() << "this start is not forwarded, " << why);
        }
        const std::unique_ptr<InstanceConnection> connection = link.connect(endpoint);
        std::uint32_t processId = 0;
        if (!InstanceMessage::parseGreeting(connection->receive(InstanceMessage::greetingSize), processId)) {
            giveUp(StringBuilder() << "what listens at \"" << endpoint << "\" is no instance");
        }
        // Before the message: the instance may raise its window as soon as
        // it has read it.
        if (link.permitForeground) {
            link.permitForeground(processId);
        }
        connection->send(message);
        if (connection->receive(1) != std::string(1, InstanceMessage::acceptedByte)) {
            giveUp(StringBuilder() << "the instance (process " << processId << ") refused the message");
        }
        logTrace("Single instance: " << arguments.size() << " arguments forwarded to the instance (process "
                                     << processId << ") at \"" << endpoint << "\"");
        return true;
    } catch (const std::exception& error) {
        // The reason alone: a trace record has its own position.
        const auto* positioned = dynamic_cast<const VxErrorBase*>(&error);
        logTrace("Single instance: " << (positioned ? positioned->plainMessage() : error.what())
                                     << "; this start is an instance of its own");
        return false;
    }
}
