#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QLocalServer;

// One window program per settings file: the first one listens on a local socket in the
// runtime directory, named after the settings file; a later start hands its URLs to it and
// ends. The exchange is line text: "OPEN url" lines, then "END"; the running one answers "OK"
// once it has taken them.
class CTavloSingleInstance : public QObject {
public:
    explicit CTavloSingleInstance(const std::string& profilePath, QObject* parent = nullptr);
    ~CTavloSingleInstance() override;

    // The socket's path for a settings file (the same for every spelling of its path).
    static QString ServerName(const std::string& profilePath);

    // Hands the URLs (none: just show the window) to a program already running with this
    // settings file; true when it took them.
    bool HandOver(const std::vector<std::string>& urls, int timeoutMs = 5000);
    // Becomes the running one; onRequest gets each later start's URLs on the window thread.
    // False when the socket cannot be made (the program then runs alone, unreachable).
    bool Listen(std::function<void(const std::vector<std::string>&)> onRequest);

private:
    void onConnection();

    QString m_name;
    QLocalServer* m_server = nullptr;
    std::function<void(const std::vector<std::string>&)> m_onRequest;
};
