// A scripted HTTP server for tests, on 127.0.0.1 at a free port, served from threads of its
// own: one accepts, and one plays the reply of each connection.
//
// For every connection it reads the request up to its empty line, records the exact bytes and
// plays a reply: the next queued reply when there is one, else the reply routed to the
// request's target (the second field of the request line: a path, or the whole URL when the
// client talks to it as a proxy), else a plain 404. After the last step of the reply it closes
// the connection gracefully, so a client reads to the end.
//
//     HttpTestServer server;
//     server.Route("/list.txt", HttpReply::Ok("[update]\r\n"));
//     server.Enqueue(HttpReply::Challenge());            // the first request gets a 401
//     server.Enqueue(HttpReply(HttpReply::Head("HTTP/1.0 200 OK", {"Content-Length: 9"}))
//                        .SendPaced("123456789", 3, 50)); // then 3 packets 50 ms apart
//     ... fetch server.Url("/list.txt") ...
//     server.Requests()[0]  // "GET /list.txt HTTP/1.0\r\nHost: 127.0.0.1\r\n..."
#pragma once

#include <winsock2.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// What the server does with one connection after reading its request: steps in order.
class HttpReply {
  public:
    HttpReply() = default;
    // Sends the head (see Head) and the body as one packet.
    explicit HttpReply(const std::string& head, const std::string& body = std::string()) {
        Send(head + body);
    }

    // A status line and header lines, each ended by CR LF, and the empty line.
    static std::string Head(const std::string& statusLine,
                            const std::vector<std::string>& headers = {});
    // "HTTP/1.0 200 OK" with a Content-Length line and the body.
    static HttpReply Ok(const std::string& body);
    // The status with a Location line and a short body.
    static HttpReply Redirect(int status, const std::string& location);
    // "HTTP/1.0 401 Unauthorized" asking for Basic authorization, with a short body.
    static HttpReply Challenge();
    // "HTTP/1.0 404 Not Found" with a short body.
    static HttpReply NotFound();

    // Sends the bytes as one packet.
    HttpReply& Send(std::string bytes);
    // Sends the bytes in packets of the given size, pausing before each packet but the first.
    HttpReply& SendPaced(const std::string& bytes, std::size_t packetSize, int pauseMs);
    // Sends nothing for a while (the server's stop ends the pause early).
    HttpReply& Pause(int ms);
    // Sends the chunk again and again until total bytes are sent or the client stops reading
    // or closes: an endless line, endless headers, an endless body.
    HttpReply& Flood(std::string chunk, std::size_t total);

  private:
    friend class HttpTestServer;
    struct Step {
        enum Kind { kSend, kPause, kFlood } kind = kSend;
        std::string bytes;
        std::size_t total = 0;
        int ms = 0;
    };
    std::vector<Step> steps_;
};

class HttpTestServer {
  public:
    // Listens at once; the port is chosen by the system.
    HttpTestServer();
    // Stops the server: running pauses and floods end, the threads are joined.
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    int Port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by the path.
    std::string Url(const std::string& path) const;

    // A reply for one request, played before any routed reply; queued replies go in order.
    void Enqueue(HttpReply reply);
    // The reply to every request for that target that finds the queue empty.
    void Route(const std::string& target, HttpReply reply);

    // The bytes of each request received so far (up to and including its empty line), in the
    // order the connections came.
    std::vector<std::string> Requests() const;

  private:
    void Serve();
    void Handle(SOCKET client);
    HttpReply ReplyFor(const std::string& request);
    void Play(SOCKET client, const HttpReply& reply);
    // False when the server stops meanwhile.
    bool PauseFor(int ms);

    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::condition_variable stopped_;
    bool stop_ = false;
    std::deque<HttpReply> queue_;
    std::map<std::string, HttpReply> routes_;
    std::vector<std::string> requests_;
    std::thread thread_;
    std::vector<std::thread> connections_;
};

// A port on 127.0.0.1 on which nothing listens: one the system chose and that was let go
// again. Winsock must be started (a running HttpTestServer or HTTP client has started it).
int ClosedPort();

// A host name that no resolver accepts: its first label is longer than 63 characters, so the
// look-up fails without asking any name server.
inline const std::string kInvalidHost = std::string(70, 'a') + ".invalid";
