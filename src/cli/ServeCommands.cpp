#include <pthread.h>
#include <sys/stat.h>
#include <csignal>
#include <cstring>
#include <fstream>
#include <ostream>
#include <thread>

#include "cli/Cli.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/ScopeExit.h"
#include "common/TextUtils.h"
#include "opds/OpdsCatalogue.h"
#include "opds/OpdsServer.h"

namespace {

// The first line of a file, without its line end: a password is not given on the command
// line, where every user of the machine could read it.
// As ssh does with keys: a password file others may change lets them in, so it is refused; one
// others may read is told.
std::string FirstLineOf(const std::string& file, std::ostream& err) {
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0) {
        if (st.st_mode & (S_IWGRP | S_IWOTH))
            throw CliUsageError{"the password file " + file +
                                " may be changed by other users; make it yours alone (chmod 600)"};
        if (st.st_mode & S_IROTH)
            err << "shelvara-cli serve: warning: every user of this machine may read the password file " << file
                << " (chmod 600)\n";
    }
    std::ifstream in(file);
    if (!in) throw CliUsageError{"cannot read the password file " + file};
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    return line;
}

int RunServe(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CliArgs a(args, {"--include-deleted"}, {"--bind", "--port", "--user", "--password-file", "--lang"});
    a.ExpectPositionals(1, 1);
    TOpdsOptions options;
    options.Library = Utf8ToAnsi(a.Positionals()[0]);
    options.Bind = a.Value("--bind", "127.0.0.1");
    options.Port = a.Number("--port", 8080, 0, 65535);
    options.IncludeDeleted = a.Has("--include-deleted");
    if (a.Has("--lang") && !UseLanguageCode(a.Value("--lang")))
        throw CliUsageError{"no language file for " + a.Value("--lang")};
    if (a.Has("--user") != a.Has("--password-file")) throw CliUsageError{"--user and --password-file go together"};
    if (a.Has("--user")) {
        options.User = a.Value("--user");
        options.Password = FirstLineOf(a.Value("--password-file"), err);
        if (options.Password.empty()) throw CliUsageError{"the password file is empty"};
    }
    // SIGINT and SIGTERM are taken by one thread that stops the server; the server's own
    // threads, started after this, inherit the blocked mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &signals, &previous);
    ScopeExit unblock([&] { pthread_sigmask(SIG_SETMASK, &previous, nullptr); });
    TOpdsServer server(options);
    const int port = server.Bind();
    const std::string host = options.Bind == "0.0.0.0" ? "<this machine's address>" : options.Bind;
    out << "Serving " << AnsiToUtf8(server.Catalogue()->Title()) << " (" << server.Catalogue()->Books().size()
        << " books) at http://" << host << ":" << port << "/ ; OPDS catalogue: http://" << host << ":" << port
        << "/opds ; Ctrl+C ends" << std::endl;
    std::thread stopper([&] {
        int received = 0;
        sigwait(&signals, &received);
        server.Stop();
    });
    server.Serve();
    // Serve ends only through the stopper, which has run by now.
    stopper.join();
    err << "shelvara-cli serve: stopped\n";
    return 0;
}

}  // namespace

std::vector<CliCommand> ServeCommands() {
    return {
        {"serve",
         "serve LIB [--bind ADDRESS] [--port N] [--user NAME --password-file FILE] [--lang CODE] [--include-deleted]",
         "Serve the library to e-readers and browsers: an OPDS catalogue at /opds and web pages at / (127.0.0.1:8080 "
         "unless told otherwise; with a user, HTTP basic authentication), in the locale's language or the one --lang "
         "names (ru, en). Lost books are not served, nor books an imported collection's index deletes unless "
         "--include-deleted. The library is read again when its file "
         "changes. Ends on Ctrl+C.",
         RunServe},
    };
}
