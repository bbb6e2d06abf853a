#pragma once

#include "convert/options.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <memory>

class PlatformServices;
class QProcess;
class QSocketNotifier;

// The batch of vocatext-convert: the documents of the command line (folders walked as the
// window walks them), each converted by a worker process of its own, with at most
// options.jobs encoders at once across all of them. Prints a live line on a terminal (one
// line per document otherwise), every failure on standard error and a summary at the end.
class Converter final : public QObject
{
public:
    Converter(const ConvertOptions &options, PlatformServices &platform);
    ~Converter() override;

    /// Converts the batch; the exit code: 0 all converted or skipped, 1 some failed,
    /// 130 or 143 interrupted.
    int Run();

    /// Ctrl+C and SIGTERM stop the batch cleanly from now on.
    void CatchStopSignals();

private:
    enum class State { Pending, Running, Converted, Skipped, Failed };
    struct Document
    {
        QString path;
        QString output;
        State state = State::Pending;
        QString failure;
        int segments = 0;
        int encoded = 0;
        double seconds = 0;
        QStringList partials;
        QString jobFolder;
        QProcess *worker = nullptr;
        int grants = 0; // encoders granted and not yet released
        QByteArray pending;
    };

    void Collect();
    void StartWorkers();
    void Start(Document &document);
    void Read(Document &document);
    void Line(Document &document, const QString &line);
    void Ended(Document &document, int exitCode, bool crashed);
    void Grant();
    void Fail(Document &document, const QString &why);
    void Stop(int signal);
    void Cleanup(Document &document);
    void Print(const QString &line, bool error = false);
    void Refresh();
    int Remaining() const;

    ConvertOptions m_options;
    PlatformServices &m_platform;
    QList<Document> m_documents;
    QString m_working;
    QString m_encoder;
    int m_freeEncoders = 0;
    std::deque<Document *> m_wanting;
    int m_running = 0;
    int m_stopSignal = 0;
    bool m_live = false;
    QElapsedTimer m_clock;
    QSocketNotifier *m_signals = nullptr;
};
