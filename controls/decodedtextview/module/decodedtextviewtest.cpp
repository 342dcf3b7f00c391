#include "decodedtextviewtest.h"

#include "decodedtextview.h"
#include "decodedtextviewtestmain.h"
#include "varnoresultdataxml.h"

#include <QMap>
#include <QTimer>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

DecodedTextViewTest::ConstructionHook constructionHook = nullptr;

// Goes where a developer watching the harness looks: the debugger's output on Windows,
// standard error elsewhere.
void WriteTraceLine(const QString& line)
{
#ifdef _WIN32
    OutputDebugStringW(reinterpret_cast<const wchar_t*>(line.utf16()));
#else
    std::fputs(line.toUtf8().constData(), stderr);
    std::fflush(stderr);
#endif
}

} // namespace

DecodedTextViewTest::ConstructionHook DecodedTextViewTest::SetConstructionHook(
    ConstructionHook hook)
{
    ConstructionHook previous = constructionHook;
    constructionHook = hook;
    return previous;
}

DecodedTextViewTest::DecodedTextViewTest(const QString& name)
    : QObject()
    , IDllInstance(name)
    , m_view(nullptr)
    , m_mainWindow(new DecodedTextViewTestMain())
    , m_timer(nullptr)
    , m_startTime(QDateTime::currentDateTime())
    , m_lastTime(m_startTime)
    , m_text(QStringLiteral(
                 "0123456789Lorem ipsum dolor sit amet, consetetur sadipscing elitr, sed diam "
                 "nonumy eirmod tempor invidunt ut labore")
          + QStringLiteral("et dolore magna aliquyam erat, sed diam voluptua.\nAt vero eos et "
                           "accusam et justo duo dolores et ea rebum.\n")
          + QStringLiteral("Stet clita kasd gubergren, no sea takimata sanctus est Lorem ipsum "
                           "dolor sit amet.\nLorem ipsum dolor sit amet, ")
          + QStringLiteral("consetetur sadipscing elitr, sed diam nonumy eirmod tempor invidunt "
                           "ut labore et dolore magna aliquyam erat, "))
    , m_current(-1)
{
    // The window has no parent, so a failure below would leak it.
    try {
        m_timer = new QTimer(this);
        connect(m_timer, SIGNAL(timeout()), this, SLOT(Update()));
        m_timer->start(1000);

        m_generators.append(Generator { 1, 1, 0 });
        m_generators.append(Generator { 2, 2, 0 });

        if (constructionHook)
            constructionHook(this);
    } catch (...) {
        delete m_mainWindow;
        m_mainWindow = nullptr;
        throw;
    }
}

DecodedTextViewTest::~DecodedTextViewTest()
{
    if (m_mainWindow)
        delete m_mainWindow;
}

bool DecodedTextViewTest::Start()
{
    m_view = new DecodedTextView(m_mainWindow);
    m_view->SetQualityThreshold(50);
    m_view->DefineCallSign(QStringLiteral("Hugo"));
    m_view->DefineCallSign(QStringLiteral("Emil"));
    m_view->DefineCallSign(QStringLiteral("Laaaaaaaaaaaaaaaaaaaaaaang"));
    m_view->DefineChannelName(0, tr("Aggregation"));
    m_view->DefineChannelName(1, QStringLiteral("Hugo"));
    m_view->DefineChannelName(2, QStringLiteral("Emil"));
    m_view->SetChannelSeparator(QStringLiteral("\n"));
    m_mainWindow->setCentralWidget(m_view);
    connect(m_view, SIGNAL(SaveUserData(int, QString)), this, SLOT(SaveUserData(int, QString)),
            Qt::QueuedConnection);
    m_mainWindow->show();
    return true;
}

void DecodedTextViewTest::Update()
{
    // The timer runs from construction, the view only from Start().
    if (!m_view)
        return;
    try {
        const QDateTime now = QDateTime::currentDateTime();
        if (m_generators.isEmpty())
            return;
        ++m_current;
        if (m_current >= m_generators.size())
            m_current = 0;
        Generator& generator = m_generators[m_current];
        if (generator.position >= m_text.length()) {
            m_timer->stop();
            return;
        }
        // Channel 1 lags one second behind the block delivered just before it, so the
        // aggregation has to sort text that arrives late.
        const QDateTime time = (generator.channel == 1 && m_startTime < m_lastTime)
            ? m_lastTime.addSecs(-1)
            : now;
        GenerateBlock(generator, time);
    } catch (...) {
    }
}

void DecodedTextViewTest::SaveUserData(int channel, QString xmlText)
{
    Q_UNUSED(channel)
    Q_UNUSED(xmlText)
}

void DecodedTextViewTest::GenerateBlock(Generator& generator, const QDateTime& time)
{
    try {
        VarnoResultDataXml::Transmission transmission;
        transmission.SetStartTime(m_startTime);
        transmission.SetStopTime(time);

        auto* block = new VarnoResultDataXml::DataBlock(generator.channel, 0, 0);
        // Until the transmission owns it, the block is ours to free.
        try {
            block->SetID(generator.blockId);
            block->SetContentCode(QStringLiteral("None"));
            block->SetContentDirectionRTL(false);

            // Blocks end after a word, at least 20 characters on.
            const int space = m_text.indexOf(QLatin1Char(' '), generator.position + 20);
            const QString content = space < 0
                ? m_text.mid(generator.position)
                : m_text.mid(generator.position, space - generator.position + 1);
            block->SetContent(content);

            VarnoResultDataXml::TimeStamp stamp;
            stamp.Time = time;
            stamp.Position = generator.position;
            stamp.Quality = generator.channel == 2 ? 0 : 70;
            block->GetTimeStamp().append(stamp);

            generator.position += content.length();
            transmission.AddDataBlock(block);
            block = nullptr;
            m_lastTime = time;

            WriteTraceLine(QStringLiteral("AddDataBlock channel=%1 timestamp=%2 '%3'\n")
                               .arg(QString::number(generator.channel),
                                    time.toString(Qt::TextDate), content));
        } catch (...) {
            delete block;
            throw;
        }

        QMap<int, int> channelMap;
        channelMap.insert(generator.channel, generator.channel);
        QVector<int> usedChannels;
        m_view->AddTransmission(channelMap, usedChannels, transmission.GetXmlString());
    } catch (...) {
    }
}
