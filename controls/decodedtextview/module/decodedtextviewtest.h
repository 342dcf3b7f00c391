#pragma once

#include "dtv_export.h"
#include "idllinstance.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVector>

class DecodedTextView;
class DecodedTextViewTestMain;
class QTimer;

// The module instance handed out by VXCreate: a window with a DecodedTextView that is fed
// generated text on two channels once a second.
class DTV_EXPORT DecodedTextViewTest : public QObject, public IDllInstance
{
    Q_OBJECT
    Q_INTERFACES(IDllInstance)

public:
    // Called at the end of construction; a hook that throws makes the construction fail,
    // which lets tests exercise the loader's failure path. Returns the hook it replaces.
    using ConstructionHook = void (*)(DecodedTextViewTest* instance);
    static ConstructionHook SetConstructionHook(ConstructionHook hook);

    explicit DecodedTextViewTest(const QString& name);
    ~DecodedTextViewTest() override;

    bool Start() override;

public slots:
    void Update();
    void SaveUserData(int channel, QString xmlText);

private:
    Q_DISABLE_COPY(DecodedTextViewTest)

    struct Generator {
        int channel;
        int blockId;
        int position;
    };

    void GenerateBlock(Generator& generator, const QDateTime& time);

    DecodedTextView* m_view;
    DecodedTextViewTestMain* m_mainWindow;
    QTimer* m_timer;
    QDateTime m_startTime;
    QDateTime m_lastTime;
    QString m_text;
    QVector<Generator> m_generators;
    int m_current;
};
