#include "HttpTestServer.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace {

constexpr std::size_t kMaxRequest = 64 * 1024;
constexpr DWORD kRequestWaitMs = 10000;

bool SendAll(SOCKET s, const char* data, std::size_t size) {
    while (size > 0) {
        const int n = send(s, data, static_cast<int>(std::min<std::size_t>(size, 1 << 20)), 0);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::string HttpReply::Head(const std::string& statusLine,
                            const std::vector<std::string>& headers) {
    std::string head = statusLine + "\r\n";
    for (const auto& header : headers)
        head += header + "\r\n";
    return head + "\r\n";
}

HttpReply HttpReply::Ok(const std::string& body) {
    return HttpReply(Head("HTTP/1.0 200 OK", {"Content-Length: " + std::to_string(body.size())}),
                     body);
}

HttpReply HttpReply::Redirect(int status, const std::string& location) {
    return HttpReply(
        Head("HTTP/1.0 " + std::to_string(status) + " Moved", {"Location: " + location}), "moved");
}

HttpReply HttpReply::Challenge() {
    return HttpReply(Head("HTTP/1.0 401 Unauthorized", {"WWW-Authenticate: Basic realm=\"test\""}),
                     "authorization required");
}

HttpReply HttpReply::NotFound() {
    return HttpReply(Head("HTTP/1.0 404 Not Found", {"Content-Type: text/html"}), "not found");
}

HttpReply& HttpReply::Send(std::string bytes) {
    Step step{};
    step.bytes = std::move(bytes);
    steps_.push_back(step);
    return *this;
}

HttpReply& HttpReply::SendPaced(const std::string& bytes, std::size_t packetSize, int pauseMs) {
    for (std::size_t pos = 0; pos < bytes.size(); pos += packetSize) {
        if (pos > 0)
            Pause(pauseMs);
        Send(bytes.substr(pos, packetSize));
    }
    return *this;
}

HttpReply& HttpReply::Pause(int ms) {
    Step step{};
    step.kind = Step::kPause;
    step.ms = ms;
    steps_.push_back(step);
    return *this;
}

HttpReply& HttpReply::Flood(std::string chunk, std::size_t total) {
    Step step{};
    step.kind = Step::kFlood;
    step.bytes = std::move(chunk);
    step.total = total;
    steps_.push_back(step);
    return *this;
}

HttpTestServer::HttpTestServer() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        throw std::runtime_error("WSAStartup failed");
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (listener_ == INVALID_SOCKET ||
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 8) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(listener_);
        WSACleanup();
        throw std::runtime_error("the test server cannot listen");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

HttpTestServer::~HttpTestServer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    stopped_.notify_all();
    // A connection of our own wakes the thread waiting in accept.
    SOCKET wake = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port_));
    connect(wake, reinterpret_cast<sockaddr*>(&address), sizeof address);
    thread_.join();
    for (auto& connection : connections_)
        connection.join();
    closesocket(wake);
    closesocket(listener_);
    WSACleanup();
}

std::string HttpTestServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void HttpTestServer::Enqueue(HttpReply reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(reply));
}

void HttpTestServer::Route(const std::string& target, HttpReply reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    routes_[target] = std::move(reply);
}

std::vector<std::string> HttpTestServer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void HttpTestServer::Serve() {
    for (;;) {
        const SOCKET client = accept(listener_, nullptr, nullptr);
        std::lock_guard<std::mutex> lock(mutex_);
        if (stop_) {
            if (client != INVALID_SOCKET)
                closesocket(client);
            return;
        }
        if (client != INVALID_SOCKET)
            connections_.emplace_back([this, client] { Handle(client); });
    }
}

void HttpTestServer::Handle(SOCKET client) {
    const BOOL noDelay = TRUE;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
               sizeof noDelay);
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&kRequestWaitMs),
               sizeof kRequestWaitMs);
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequest) {
        const int n = recv(client, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        request.append(buffer, static_cast<std::size_t>(n));
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
    }
    Play(client, ReplyFor(request));
}

HttpReply HttpTestServer::ReplyFor(const std::string& request) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!queue_.empty()) {
        HttpReply reply = std::move(queue_.front());
        queue_.pop_front();
        return reply;
    }
    const std::size_t start = request.find(' ');
    const std::size_t end = start == std::string::npos ? start : request.find(' ', start + 1);
    if (end != std::string::npos) {
        const auto route = routes_.find(request.substr(start + 1, end - start - 1));
        if (route != routes_.end())
            return route->second;
    }
    return HttpReply::NotFound();
}

void HttpTestServer::Play(SOCKET client, const HttpReply& reply) {
    for (const auto& step : reply.steps_) {
        bool going = true;
        switch (step.kind) {
        case HttpReply::Step::kSend:
            going = SendAll(client, step.bytes.data(), step.bytes.size());
            break;
        case HttpReply::Step::kPause:
            going = PauseFor(step.ms);
            break;
        case HttpReply::Step::kFlood:
            for (std::size_t sent = 0; going && sent < step.total; sent += step.bytes.size()) {
                going = SendAll(client, step.bytes.data(),
                                std::min(step.bytes.size(), step.total - sent));
                std::lock_guard<std::mutex> lock(mutex_);
                going = going && !stop_;
            }
            break;
        }
        if (!going)
            break;
    }
    shutdown(client, SD_SEND);
    closesocket(client);
}

bool HttpTestServer::PauseFor(int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return !stopped_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_; });
}

int ClosedPort() {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    closesocket(s);
    return ntohs(address.sin_port);
}
