#include "SingleInstance.h"

#include <exception>
#include <stdexcept>

#include "ErrorHandling.h"
#include "InstanceMessage.h"
#include "Log.h"

const wchar_t instanceEndpointProperty[] = L"vantorix.instance-endpoint";

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
            throwWithPosition(std::runtime_error(
                (StringBuilder() << "the instance at \"" << endpoint << "\" closed the connection").utf8()));
        }
        done += received;
    }
    return bytes;
}

void StreamConnection::checkDeadline() const {
    if (std::chrono::steady_clock::now() > deadline) {
        throwWithPosition(std::runtime_error(
            (StringBuilder() << "the instance at \"" << endpoint << "\" did not answer in time").utf8()));
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
            logTrace("Single instance: this start is not forwarded, " << why
                                                                      << "; it is an instance of its own");
            return false;
        }
        const std::unique_ptr<InstanceConnection> connection = link.connect(endpoint);
        std::uint32_t processId = 0;
        if (!InstanceMessage::parseGreeting(connection->receive(InstanceMessage::greetingSize), processId)) {
            logTrace("Single instance: what listens at \"" << endpoint
                                                           << "\" is no instance; this start is an instance of its own");
            return false;
        }
        // Before the message: the instance may raise its window as soon as
        // it has read it.
        if (link.permitForeground) {
            link.permitForeground(processId);
        }
        connection->send(message);
        if (connection->receive(1) != std::string(1, InstanceMessage::acceptedByte)) {
            logTrace("Single instance: the instance (process " << processId
                                                               << ") refused the message; this start is an instance of its own");
            return false;
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
