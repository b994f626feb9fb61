#pragma once

// One instance per user and session: a start of an application whose
// config file asks for it hands its arguments and working directory to the
// running instance, when there is one that receives them, and ends there.
// The instance listens at a per-user endpoint (a Unix-domain socket in a
// directory of the user's own), through the library shipped beside the
// image tool; the launcher passes the endpoint to it as a system property.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "CfgFile.h"
#include "tstrings.h"

// A connection to a running instance. Each call is bounded in time and
// throws VxError<std::runtime_error> on failure, timeout included.
class InstanceConnection {
public:
    virtual ~InstanceConnection() = default;
    virtual void send(const std::string& bytes) = 0;
    // Exactly count bytes; throws when the instance closes before.
    virtual std::string receive(std::size_t count) = 0;
};

// A connection attempt and each call wait at most instanceCallTimeout, the
// whole exchange at most instanceExchangeBound: a stuck instance costs a
// start this much, then the start runs on its own.
constexpr std::chrono::milliseconds instanceCallTimeout{1000};
constexpr std::chrono::milliseconds instanceExchangeBound{2000};

// The loops of both OS halves: whole messages, each within one deadline
// for the whole exchange. An OS half supplies one send and one receive call.
class StreamConnection : public InstanceConnection {
public:
    void send(const std::string& bytes) final;
    std::string receive(std::size_t count) final;

protected:
    explicit StreamConnection(const WideString& endpoint);
    // The bytes taken or read, 0 when the peer has closed (receive); throw
    // on failure, their own timeout included.
    virtual std::size_t sendSome(const char* data, std::size_t size) = 0;
    virtual std::size_t receiveSome(char* data, std::size_t size) = 0;

    const WideString endpoint;

private:
    void checkDeadline() const;

    std::chrono::steady_clock::time_point deadline;
};

// What the OS half provides; an empty endpoint function means that this
// launch never forwards.
struct InstanceLink {
    // The endpoint of the application for this user and session, empty
    // (with the reason traced) when the system offers none.
    std::function<WideString(const WideString& applicationName)> endpoint;
    // Throws when nothing listens there or the connection fails.
    std::function<std::unique_ptr<InstanceConnection>(const WideString& endpoint)> connect;
    // Lets the instance with this process id take the foreground; may be
    // empty.
    std::function<void(std::uint32_t processId)> permitForeground;
    std::function<WideString()> workingDirectory;
};

// The name of the system property that gives the instance its endpoint.
extern const wchar_t instanceEndpointProperty[];

// Whether the config file asks for one instance ("app.single-instance=true").
bool singleInstanceRequested(const CfgFile& cfgFile);

// True when the running instance at the endpoint has taken the arguments;
// false, with the reason traced, when this start is to be an instance of
// its own. Never throws for what the instance does or fails to do.
bool forwardToInstance(const InstanceLink& link, const WideString& endpoint,
                       const WideStringList& arguments);

// The OS half's link (PosixInstanceLink.cpp, WinInstanceLink.cpp).
InstanceLink systemInstanceLink();
