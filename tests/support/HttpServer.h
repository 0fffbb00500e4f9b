#pragma once
// A real HTTP server on 127.0.0.1, on a free port, serving a folder through
// face_http_server.py. Started by the constructor, stopped by the destructor; the server also
// ends by itself when this process ends, however it ends, because it watches the pipe on its
// standard input.

#include <string>
#include <sys/types.h>

class HttpServer {
public:
    // Starts the server on `folder`; ok() says whether it came up.
    explicit HttpServer(const std::string& folder);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    bool ok() const { return m_port > 0; }
    int port() const { return m_port; }
    // "http://127.0.0.1:PORT" followed by `path`, which starts with '/'.
    std::string url(const std::string& path) const;

private:
    void stop();

    pid_t m_pid = -1;   // the server process, -1 when none runs
    int m_stdinFd = -1; // write end of the server's stdin; closing it stops the server
    int m_port = 0;     // 0 until the server has reported its port
};

// A port on 127.0.0.1 where nothing listens (bound for a moment, then released).
int UnusedLocalPort();
