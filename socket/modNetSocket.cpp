#include "socket/modNetSocket.h"

#include "runtime/RuntimeError.h"
#include "platform/SocketCalls.h"
#include "socket/CNetSocket.h"
#include "socket/SocketMessageWindow.h"
#include "socket/SocketMessages.h"
#include "socket/SocketSelection.h"
#include "socket/WinsockErrorText.h"

#include <map>
#include <optional>

namespace {

constexpr int32_t kErrInvalidCall = 5;
constexpr int32_t kErrOutOfMemory = 7;
constexpr int32_t kErrDuplicateKey = 457;

struct Selection {
    std::unique_ptr<SocketSelection> selection;
    uint64_t origin;
};

struct ModuleState {
    bool started = false;
    int32_t referenceCount = 0;
    SocketMessageWindow* window = nullptr;
    // Absent until the first entry, released with the last, as the window
    // follows the socket registry.
    std::optional<std::map<int32_t, CNetSocket*>> sockets;
    std::optional<std::map<int32_t, std::shared_ptr<CNetSocket>>> pendingAccepts;
    DispatchTable socketTable;
    DispatchTable lookupTable;
    std::map<int32_t, Selection> selections;
    uint64_t nextOrigin = 1;
    uint64_t messagesRouted = 0;
};

// Never destroyed: holders still registered at exit must not meet a
// module that is already gone.
ModuleState& State()
{
    static auto* state = new ModuleState;
    return *state;
}

[[noreturn]] void Raise(int32_t number, const std::string& description, const std::string& procedure)
{
    throw RuntimeError(number, description, "modNetSocket." + procedure);
}

[[noreturn]] void RaiseSocketError(int32_t code, const std::string& procedure)
{
    Raise(code, GetWinsockErrorText(code), procedure);
}

bool IsCurrentOrigin(int32_t socket, uint64_t origin)
{
    auto found = State().selections.find(socket);
    return found != State().selections.end() && found->second.origin == origin;
}

void Route(int32_t message, int32_t wParam, int32_t lParam, uint64_t origin)
{
    ModuleState& state = State();
    ++state.messagesRouted;
    CNetSocket* owner = nullptr;
    if (message == kMsgHostLookup)
        owner = state.lookupTable.Find(wParam);
    else if (message == kMsgSocketEvent && IsCurrentOrigin(wParam, origin))
        owner = state.socketTable.Find(wParam);
    if (owner)
        owner->WndProc(0, message, wParam, lParam);
}

void Select(int32_t socket, SocketSelection::Mode mode)
{
    uint64_t origin = State().nextOrigin++;
    auto post = [origin](int32_t handle, uint16_t event, uint16_t error) {
        if (SocketMessageWindow* window = State().window)
            window->Post(kMsgSocketEvent, handle, PackEventParam(event, error), origin);
    };
    State().selections[socket] = {std::make_unique<SocketSelection>(socket, mode, post), origin};
}

SocketSelection* SelectionOf(int32_t socket)
{
    auto found = State().selections.find(socket);
    return found == State().selections.end() ? nullptr : found->second.selection.get();
}

// Tells the selections what the socket calls did, as the socket library of
// Windows re-enables its notifications inside those calls. An accepted
// connection takes over the listening socket's selection.
void OnSocketCall(SocketCalls::Call call, int32_t socket, int32_t error, int32_t result)
{
    SocketSelection* selection = SelectionOf(socket);
    if (!selection)
        return;
    switch (call) {
    case SocketCalls::Call::Close:
        if (error == 0)
            State().selections.erase(socket);
        break;
    case SocketCalls::Call::Listen:
        selection->AfterListen(error);
        break;
    case SocketCalls::Call::Connect:
        selection->AfterConnect(error);
        break;
    case SocketCalls::Call::Accept:
        selection->AfterAccept(error);
        if (error == 0)
            Select(result, SocketSelection::Mode::Connected);
        break;
    case SocketCalls::Call::Recv:
    case SocketCalls::Call::RecvFrom:
        selection->AfterReceive();
        break;
    case SocketCalls::Call::Send:
    case SocketCalls::Call::SendTo:
        selection->AfterSend(error);
        break;
    default:
        break;
    }
}

int32_t CreateWinsockMessageWindow()
{
    try {
        State().window = new SocketMessageWindow(Route);
    } catch (const std::bad_alloc&) {
        return kErrOutOfMemory;
    }
    return 0;
}

void DestroyWinsockMessageWindow()
{
    if (State().window) {
        State().window->Close();
        State().window = nullptr;
    }
}

void UnhookWindow()
{
    State().socketTable.Clear();
    State().lookupTable.Clear();
}

}  // namespace

void modNetSocket::InitiateProcesses()
{
    ModuleState& state = State();
    ++state.referenceCount;
    if (state.started)
        return;
    SocketCalls::SetObserver(OnSocketCall);
    state.started = true;
    if (int32_t error = SocketCalls::Startup())
        RaiseSocketError(error, "InitiateProcesses");
}

void modNetSocket::FinalizeProcesses()
{
    ModuleState& state = State();
    --state.referenceCount;
    if (!state.started || state.referenceCount != 0)
        return;
    if (int32_t error = SocketCalls::Cleanup())
        RaiseSocketError(error, "FinalizeProcesses");
    UnhookWindow();
    SocketCalls::SetObserver(nullptr);
    state.started = false;
}

bool modNetSocket::RegisterSocket(int32_t socket, CNetSocket* owner, bool withEvents)
{
    ModuleState& state = State();
    if (!state.sockets) {
        state.sockets.emplace();
        if (CreateWinsockMessageWindow() != 0)
            Raise(kErrOutOfMemory, "Out of memory", "RegisterSocket");
    }
    state.socketTable.Add(socket, owner);
    if (withEvents) {
        if (int32_t error = SocketCalls::SetNonBlocking(socket))
            RaiseSocketError(error, "RegisterSocket");
        Select(socket, SocketCalls::IsDatagram(socket) ? SocketSelection::Mode::Datagram
                                                       : SocketSelection::Mode::Idle);
    }
    if (!state.sockets->emplace(socket, owner).second)
        Raise(kErrDuplicateKey, "This key is already associated with an element of this collection",
              "RegisterSocket");
    return true;
}

void modNetSocket::UnregisterSocket(int32_t socket)
{
    ModuleState& state = State();
    state.socketTable.Free(socket);
    state.selections.erase(socket);
    if (state.sockets)
        state.sockets->erase(socket);
    if (state.sockets && !state.sockets->empty())
        return;
    state.sockets.reset();
    UnhookWindow();
    DestroyWinsockMessageWindow();
}

bool modNetSocket::IsRegisteredSocket(int32_t socket)
{
    return State().sockets && State().sockets->count(socket) != 0;
}

void modNetSocket::ReassignSocketOwner(int32_t socket, CNetSocket* owner)
{
    State().socketTable.Reassign(socket, owner);
}

void modNetSocket::RenewReadNotification(int32_t socket)
{
    if (SocketSelection* selection = SelectionOf(socket))
        selection->AfterReceive();
}

void modNetSocket::RegisterPendingAccept(int32_t socket)
{
    ModuleState& state = State();
    if (!state.pendingAccepts)
        state.pendingAccepts.emplace();
    auto holder = std::make_shared<CNetSocket>();
    holder->Accept(socket);
    (*state.pendingAccepts)[socket] = std::move(holder);
}

bool modNetSocket::IsPendingAccept(int32_t socket)
{
    return State().pendingAccepts && State().pendingAccepts->count(socket) != 0;
}

std::shared_ptr<CNetSocket> modNetSocket::GetPendingAcceptObject(int32_t socket)
{
    if (!IsPendingAccept(socket))
        Raise(kErrInvalidCall, "Invalid procedure call or argument", "GetPendingAcceptObject");
    return State().pendingAccepts->at(socket);
}

void modNetSocket::UnregisterPendingAccept(int32_t socket)
{
    ModuleState& state = State();
    if (!IsPendingAccept(socket))
        Raise(kErrInvalidCall, "Invalid procedure call or argument", "UnregisterPendingAccept");
    // The holder may be destroyed here, and it must not find itself in the
    // registry while it goes.
    std::shared_ptr<CNetSocket> holder = std::move(state.pendingAccepts->at(socket));
    state.pendingAccepts->erase(socket);
    if (state.pendingAccepts->empty())
        state.pendingAccepts.reset();
}

int32_t modNetSocket::RequestHostLookup(const std::string& name, std::shared_ptr<HostLookupBuffer> buffer,
                                        CNetSocket* owner, int32_t& error)
{
    auto handle = std::make_shared<int32_t>(0);
    auto done = [handle, buffer](int32_t lookupError, uint32_t address) {
        buffer->address = address;
        if (SocketMessageWindow* window = State().window)
            window->Post(kMsgHostLookup, *handle, PackEventParam(0, static_cast<uint16_t>(lookupError)), 0);
    };
    error = SocketCalls::StartLookup(name, State().window, done, *handle);
    if (error != 0)
        return 0;
    State().lookupTable.Add(*handle, owner);
    return *handle;
}

bool modNetSocket::CancelHostLookup(int32_t handle)
{
    return SocketCalls::CancelLookup(handle) == 0;
}

void modNetSocket::UnregisterHostLookup(int32_t handle)
{
    State().lookupTable.Free(handle);
}

void modNetSocket::ForgetOwner(const CNetSocket* owner)
{
    State().socketTable.FreeOwner(owner);
    State().lookupTable.FreeOwner(owner);
}

bool modNetSocket::ServiceStarted()
{
    return State().started;
}

int32_t modNetSocket::ReferenceCount()
{
    return State().referenceCount;
}

bool modNetSocket::MessageWindowExists()
{
    return State().window != nullptr;
}

std::vector<DispatchTable::Entry> modNetSocket::SocketTable()
{
    return State().socketTable.Entries();
}

std::vector<DispatchTable::Entry> modNetSocket::LookupTable()
{
    return State().lookupTable.Entries();
}

uint64_t modNetSocket::MessagesRouted()
{
    return State().messagesRouted;
}
