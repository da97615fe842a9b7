#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "manager/nivo_manager.h"
#include "manager_fixture.h"
#include "util/utilities.h"

namespace {

class RequestTest : public ManagerTest {
protected:
    void Start() {
        ManagerTest::Start();
        m_server = BindLoopback(SOCK_STREAM, m_port);
        m_keys = FileDescriptor(::open(dir.Path("keys").c_str(), O_WRONLY | O_NONBLOCK));
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    void Show(const std::string& start, const std::string& body, const std::string& head = "") {
        ASSERT_TRUE(manager->ShowGeneratedPage("<nivoml><head><goto div=\"" + start + "\"/>" + head +
                                               "</head><body>" + body +
                                               "</body></nivoml>"));
        manager->GetDisplay().Flush(NIVO_Display::FLUSH_ALL);
    }
    void Key(unsigned char state, int64_t heldMs = 0) {
        ASSERT_EQ(::write(m_keys.Get(), &state, 1), 1);
        manager->WaitAndHandle(100);
        Advance(heldMs);
        if (heldMs > 0) manager->WaitAndHandle(1);  // the pass that sees the key held
    }
    // Writes the pending request, answers it as the web server would and reads the answer.
    std::string Serve(const std::string& answer) {
        manager->WaitAndHandle(100);
        pollfd ready{m_server.Get(), POLLIN, 0};
        if (::poll(&ready, 1, 2000) != 1) {
            ADD_FAILURE() << "no request came";
            return "";
        }
        FileDescriptor client(::accept(m_server.Get(), nullptr, nullptr));
        std::string request(4096, '\0');
        request.resize(static_cast<size_t>(std::max<ssize_t>(
            0, ::recv(client.Get(), &request[0], request.size(), 0))));
        EXPECT_EQ(::send(client.Get(), answer.data(), answer.size(), 0),
                  static_cast<ssize_t>(answer.size()));
        client.Reset();
        manager->WaitAndHandle(100);
        return request;
    }

    FileDescriptor m_server;
    FileDescriptor m_keys;
    uint16_t m_port = 0;
};

const char* const kNewPage =
    "HTTP/1.0 200 OK\r\n\r\n<nivoml><head><goto div=\"N\"/></head><body><div name=\"N\">New page</div></body></nivoml>";

TEST_F(RequestTest, CombinationsDispatchOnceAndHeldKeysDoNotRepeatPastAChange) {
    Start();
    Show("A", "<div name=\"A\">Screen A<a href=\"#B\" key=\"3\"/></div>"
              "<div name=\"B\">Screen B<a href=\"#A\" key=\"3\"/>"
              "<a href=\"#B\" key=\"1\" duration=\"2\"/><a href=\"#B\" key=\"2\"/></div>");
    Key(3, 2500);  // two keys in one byte: once, as key 3; held on, no repeat into A
    EXPECT_EQ(Panel().Line(0), "Screen B   ");
    Key(0);
    log.ClearLines();
    Key(1, 1000);
    EXPECT_EQ(log.Count("Interner LINK"), 0);  // too short
    Advance(1000);
    manager->WaitAndHandle(1);
    Advance(5000);
    manager->WaitAndHandle(1);
    EXPECT_EQ(log.Count("Interner LINK"), 1);  // once per press, however long
    Key(0);
    Key(1, 2000);
    EXPECT_EQ(log.Count("Interner LINK"), 2);
    Key(0);
    Key(2, 1000);
    EXPECT_EQ(log.Count("Interner LINK"), 3);  // pressed, not yet repeating
    Advance(1000);
    manager->WaitAndHandle(1);
    EXPECT_EQ(log.Count("Interner LINK"), 4);
}

TEST_F(RequestTest, UnsendableRequestsAreRefusedWithAReason) {
    Start();
    manager->LoadNivomlPage("http://127.0.0.1:70000/x.cgi", "");
    EXPECT_TRUE(log.Contains("Port ung\xfcltig"));
    manager->LoadNivomlPage(Url("/x.cgi\r\nHost: a"), "");
    EXPECT_TRUE(log.Contains("Steuerzeichen in der URL"));
    Show("F", "<div name=\"F\">Send<form method=\"get\" action=\"" + Url("/f.cgi") +
         "\"><input type=\"submit\" key=\"1\"/></form></div>");
    int flushMask = 0;
    manager->HandleKey(0, flushMask, "?submit");
    EXPECT_TRUE(log.Has(Logger::Warning, "NIVO_Manager::SendString: Leere Anfrage, nichts gesendet."));
    EXPECT_EQ(manager->GetPendingRequest(), "");

    Show("F", "<div name=\"F\">Send<form method=\"get\" action=\"" + Url("/f.cgi&#10;x") +
         "\"><input type=\"hidden\" name=\"h\" value=\"1\"/></form></div>");
    manager->HandleKey(0, flushMask, "?submit");
    EXPECT_TRUE(log.Contains("Steuerzeichen in der Anfrage"));
    Show("T", "<div name=\"T\"><settime format=\"%H%M\" goto=\"!submit\" inccursorkey=\"1\" incdatakey=\"2\"/></div>");
    manager->HandleKey(0, flushMask, "!submit");  // would submit itself for ever
    EXPECT_TRUE(log.Contains("Sprungziel ignoriert: !submit"));

    manager->LoadNivomlPage(Url("/x.cgi"), "a b&c#d");
    EXPECT_NE(manager->GetPendingRequest().find("&sDivname=a+b%26c%23d HTTP/1.0"),
              std::string::npos)
        << manager->GetPendingRequest();
}

TEST_F(RequestTest, DontReloadKeepsThePageOnlyForASuccessfulAnswerToItsOwnForm) {
    Start();
    Show("F", "<div name=\"F\">Pin<form method=\"get\" dontreload action=\"" + Url("/f.cgi") +
         "\"><input type=\"text\" name=\"p\" value=\"12\" mask=\"1,1\"/><input type=\"submit\" key=\"1\"/></form></div>");
    Key(1);
    EXPECT_EQ(Serve(kNewPage).rfind("GET /f.cgi?p=12&sContrast=", 0), 0u);
    EXPECT_EQ(Panel().Line(0), "Pin12      ");
    EXPECT_EQ(manager->GetPendingRequest(), "");

    Key(0);
    Key(1);
    Serve("HTTP/1.0 500 Oops\r\n\r\n<nivoml><head/><body><div>x</div></body></nivoml>");
    EXPECT_TRUE(log.Has(Logger::Error, "errcount_thisMsg: 1"));
    ASSERT_NE(manager->GetPendingRequest(), "");  // waits for its second attempt
    Advance(1000);
    TimerTarget::s_timerQueue.Execute();
    Serve("HTTP/1.0 500 Oops\r\n\r\n");
    EXPECT_TRUE(log.Has(Logger::Error, "Dieser Fehler konnte 2x nicht behandelt werden "));
    EXPECT_EQ(manager->GetPendingRequest(), "");
    EXPECT_EQ(Panel().Line(0), "Retry...   ");

    manager->LoadNivomlPage(Url("/n.cgi"), "");
    Serve(std::string(kNewPage).insert(40, 1, '\0'));
    EXPECT_TRUE(log.Has(Logger::Error, "NIVO_Manager::HandleReceivedMsg: NUL-Byte in der Seite."));
    Advance(1000);
    TimerTarget::s_timerQueue.Execute();
    Serve(kNewPage);
    EXPECT_EQ(Panel().Line(0), "New page   ");  // not the form's answer: shown
    manager->LoadNivomlPage("http://127.0.0.1:1/alarm", "");  // never arrives
    manager->ReloadPage("N");
    EXPECT_EQ(manager->GetPendingRequest().rfind("GET /n.cgi?", 0), 0u);
}

TEST_F(RequestTest, TimerCommandsWaitWhileARequestIsInFlight) {
    Start();
    Show("A", "<div name=\"A\">Auto</div>",
         "<a href=\"" + Url("/auto.cgi") + "\" key=\"7\" autoswitch=\"1000\"/>");
    manager->LoadNivomlPage(Url("/first.cgi"), "");
    const std::string first = manager->GetPendingRequest();
    ASSERT_NE(first, "");
    Advance(1000);
    TimerTarget::s_timerQueue.Execute();
    EXPECT_EQ(manager->GetPendingRequest(), first);
    manager->AutoSubmit_Form(100);
    Advance(100);
    TimerTarget::s_timerQueue.Execute();
    EXPECT_TRUE(manager->IsTimerArmed(NIVO_Manager::AUTO_SUBMIT_FORM_EXEC));  // waits its turn
    Serve("HTTP/1.0 404 Not Found\r\n\r\n");
    Advance(1000);
    TimerTarget::s_timerQueue.Execute();  // the retry and the deferred link are both due
    EXPECT_EQ(manager->GetPendingRequest(), first);

    Show("A", "<div name=\"A\">Other</div>");  // a new page cancels the old one's submission
    EXPECT_FALSE(manager->IsTimerArmed(NIVO_Manager::AUTO_SUBMIT_FORM_EXEC));
}

TEST_F(RequestTest, StatusIndicationsSurviveTheEndOfAnInformationMessage) {
    Start();
    Show("A", "<div name=\"A\">Page</div>", "<date format=\"%d%m%y\"/>");
    Notify("WAVD\nALARM=true");
    int flushMask = 0;
    manager->ActivateInfoMsgNivo("Failure", 2002, flushMask);
    Advance(2002);
    TimerTarget::s_timerQueue.Execute();
    EXPECT_EQ(Panel().Line(0), "Page       ");
    EXPECT_EQ(Panel().LedMode(LED_STATUS_A), MODE_ON);
    manager.reset();
    EXPECT_EQ(Panel().Segments().substr(4, 3), "0FF");  // not the live date
}

}  // namespace
