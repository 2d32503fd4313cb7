#include "tavlo_single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {

// A request is a few URLs; anything longer is not one of ours.
constexpr qint64 kMaxRequest = 64 * 1024;

} // namespace

CTavloSingleInstance::CTavloSingleInstance(const std::string& profilePath, QObject* parent)
    : QObject(parent), m_name(ServerName(profilePath)) {}

CTavloSingleInstance::~CTavloSingleInstance() = default;

QString CTavloSingleInstance::ServerName(const std::string& profilePath) {
    QFileInfo file(QString::fromStdString(profilePath));
    // The file may not exist yet: its directory decides.
    QString dir = QFileInfo(file.absolutePath()).canonicalFilePath();
    QString canonical = (dir.isEmpty() ? file.absolutePath() : dir) + "/" + file.fileName();
    QByteArray hash =
        QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        runtime = QDir::tempPath();
    return runtime + "/tavlo-" + QString::fromLatin1(hash) + ".sock";
}

bool CTavloSingleInstance::HandOver(const std::vector<std::string>& urls, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QByteArray request;
    for (const std::string& url : urls) {
        QByteArray line = QByteArray::fromStdString(url);
        line.replace('\n', ' ').replace('\r', ' ');
        request += "OPEN " + line + "\n";
    }
    request += "END\n";
    socket.write(request);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    // The answer comes once the running one has the URLs.
    QByteArray answer;
    while (!answer.contains('\n') && socket.waitForReadyRead(timeoutMs))
        answer += socket.readAll();
    return answer.startsWith("OK\n");
}

bool CTavloSingleInstance::Listen(std::function<void(const std::vector<std::string>&)> onRequest) {
    m_onRequest = std::move(onRequest);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &CTavloSingleInstance::onConnection);
    if (m_server->listen(m_name))
        return true;
    // A socket left by a program that is gone (nobody answered HandOver).
    QLocalServer::removeServer(m_name);
    return m_server->listen(m_name);
}

void CTavloSingleInstance::onConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
            *buffer += socket->readAll();
            if (buffer->size() > kMaxRequest) {
                socket->abort();
                return;
            }
            if (!buffer->endsWith("END\n"))
                return;
            std::vector<std::string> urls;
            for (const QByteArray& line : buffer->split('\n'))
                if (line.startsWith("OPEN ") && line.size() > 5)
                    urls.push_back(line.mid(5).toStdString());
            buffer->clear();
            socket->write("OK\n");
            socket->flush();
            if (m_onRequest)
                m_onRequest(urls);
        });
    }
}
