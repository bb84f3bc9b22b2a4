#include "socket/SocketSelection.h"

#include "platform/SocketCalls.h"
#include "socket/SocketMessages.h"

#include <QSocketNotifier>

namespace {

std::unique_ptr<QSocketNotifier> MakeNotifier(int32_t handle, QSocketNotifier::Type type)
{
    auto notifier = std::make_unique<QSocketNotifier>(handle, type);
    notifier->setEnabled(false);
    return notifier;
}

}  // namespace

SocketSelection::SocketSelection(int32_t handle, Mode mode, Post post)
    : handle_(handle),
      mode_(mode),
      post_(std::move(post)),
      read_(MakeNotifier(handle, QSocketNotifier::Read)),
      write_(MakeNotifier(handle, QSocketNotifier::Write))
{
    QObject::connect(read_.get(), &QSocketNotifier::activated, [this] { OnReadable(); });
    QObject::connect(write_.get(), &QSocketNotifier::activated, [this] { OnWritable(); });
    // A new connection announces that it may be written to at once.
    Watch(mode == Mode::Connected || mode == Mode::Datagram, mode == Mode::Connected);
}

SocketSelection::~SocketSelection()
{
    Watch(false, false);
}

void SocketSelection::AfterListen(int32_t error)
{
    if (error != 0)
        return;
    mode_ = Mode::Listening;
    Watch(true, false);
}

void SocketSelection::AfterConnect(int32_t error)
{
    if (mode_ == Mode::Datagram || (error != 0 && error != WSAEWOULDBLOCK))
        return;
    mode_ = Mode::Connecting;
    Watch(false, true);
}

void SocketSelection::AfterAccept(int32_t error)
{
    if (mode_ == Mode::Listening && error == 0)
        read_->setEnabled(true);
}

void SocketSelection::AfterReceive()
{
    if (mode_ == Mode::Connected || mode_ == Mode::Datagram)
        read_->setEnabled(true);
}

void SocketSelection::AfterSend(int32_t error)
{
    if (error == WSAEWOULDBLOCK && (mode_ == Mode::Connected || mode_ == Mode::Datagram))
        write_->setEnabled(true);
}

void SocketSelection::OnReadable()
{
    read_->setEnabled(false);
    switch (mode_) {
    case Mode::Listening:
        post_(handle_, FD_ACCEPT, 0);
        return;
    case Mode::Datagram:
        post_(handle_, FD_READ, 0);
        return;
    case Mode::Connected:
        break;
    default:
        return;
    }
    int32_t error = 0;
    switch (SocketCalls::Probe(handle_, error)) {
    case SocketCalls::Readiness::Data:
        post_(handle_, FD_READ, 0);
        break;
    case SocketCalls::Readiness::EndOfStream:
        Finish();
        post_(handle_, FD_CLOSE, 0);
        break;
    case SocketCalls::Readiness::Failed:
        Finish();
        post_(handle_, FD_CLOSE, static_cast<uint16_t>(error));
        break;
    case SocketCalls::Readiness::Nothing:
        read_->setEnabled(true);
        break;
    }
}

void SocketSelection::OnWritable()
{
    write_->setEnabled(false);
    if (mode_ == Mode::Connecting)
        OnConnectDone();
    else if (mode_ == Mode::Connected || mode_ == Mode::Datagram)
        post_(handle_, FD_WRITE, 0);
}

void SocketSelection::OnConnectDone()
{
    int32_t error = SocketCalls::PendingError(handle_);
    if (error != 0) {
        Finish();
        post_(handle_, FD_CONNECT, static_cast<uint16_t>(error));
        return;
    }
    mode_ = Mode::Connected;
    read_->setEnabled(true);
    post_(handle_, FD_CONNECT, 0);
    post_(handle_, FD_WRITE, 0);
}

void SocketSelection::Watch(bool read, bool write)
{
    read_->setEnabled(read);
    write_->setEnabled(write);
}

void SocketSelection::Finish()
{
    mode_ = Mode::Finished;
    Watch(false, false);
}
