// Where the tray companion runs after each mode that starts or stops it, over the account the
// installer runs as, the sessions logged on and the companions running in them: in every
// session the installer can reach, as that session's user at the user's own integrity, and
// never as the system account or with an elevated token.
#include <stdio.h>

#include <algorithm>

#include "sequence_fixture.h"

namespace {

using winsim::Token;

const char kConsoleUser[] = "S-1-5-21-1004336348-1177238915-682003330-1001";
const char kRemoteUser[] = "S-1-5-21-1004336348-1177238915-682003330-1002";
const char kAwayUser[] = "S-1-5-21-1004336348-1177238915-682003330-1003";
const char kAdmin[] = "S-1-5-21-1004336348-1177238915-682003330-500";

enum class Account { System, OverTheShoulder, ElevatedOwnDesktop, WithoutSplitToken };
enum class Running { None, Some, All, OneNeverQuits };

Token User(const char* sid) {
  Token user = Token::StandardUser();
  user.user = sid;
  return user;
}

class CompanionMatrixTest : public SequenceTest {
 protected:
  // Logs the sessions on, starts the companions and sets the program's token; returns the
  // session the run is in.
  DWORD Stage(Account account, int sessions, Running running) {
    winsim::Processes& processes = machine().processes();
    processes.sessions.resize(1);  // the services session alone
    Token console = account == Account::System || account == Account::OverTheShoulder
                        ? User(kConsoleUser)
                    : account == Account::ElevatedOwnDesktop ? Token::SplitAdministrator(kAdmin)
                                                             : Token::ElevatedAdministrator();
    if (sessions >= 1) processes.LogOn(1, WTSActive, console);
    // The remote user of the system account's runs is an administrator without a split token.
    Token remote = User(kRemoteUser);
    if (account == Account::System)
      remote = Token::ElevatedAdministrator(), remote.user = kRemoteUser;
    if (sessions >= 2) processes.LogOn(2, WTSActive, remote);
    if (sessions >= 3) processes.LogOn(3, WTSDisconnected, User(kAwayUser));
    processes.token = account == Account::System              ? Token::SystemAccount()
                      : account == Account::WithoutSplitToken ? Token::ElevatedAdministrator()
                                                              : Token::SplitAdministrator(kAdmin);
    RegisterValueAsEarlierVersionsDid();
    for (int s = sessions; s >= 1; --s) {  // the one that never quits first: the file keeps
      if (running == Running::None || (running == Running::Some && s != 1)) continue;  // the last
      winsim::TrayCompanion companion;
      if (running == Running::OneNeverQuits && s == 1)
        companion.onQuit = winsim::TrayCompanion::OnQuit::Ignore;
      companion.RunAs(machine(), kTrayPath, *processes.FindSession(s)->user);
    }
    return processes.token.session;
  }
  void RegisterValueAsEarlierVersionsDid() {
    machine().registry().SetString(HKEY_LOCAL_MACHINE, kRunKeyPath, u"vexaWriterTray", kTrayPath);
  }

  // Each companion running: its session, account and integrity; empty when a rule is broken.
  std::vector<std::string> Companions(std::string* problem) {
    std::vector<std::string> found;
    for (const auto& [id, token] : machine().processes().RunningOf(kTrayPath)) {
      if (token->user == winsim::kSystemSid || token->elevation == TokenElevationTypeFull) {
        *problem = "a companion as the system account or elevated";
      }
      found.push_back(Where(token->session, token->user, token->integrity));
    }
    std::sort(found.begin(), found.end());
    return found;
  }
  static std::string Where(DWORD session, const std::string& user, DWORD integrity) {
    return "session " + std::to_string(session) + " " + user + " at " + std::to_string(integrity);
  }
};

TEST_F(CompanionMatrixTest, EachSessionKeepsItsOwnUsersCompanion) {
  const std::pair<const char*, int> kModes[] = {
      {"install", 1}, {"in_notray", 1}, {"uninstall", 2}, {"removetray", 6}};
  unsigned cases = 0;
  unsigned wrong = 0;
  for (Account account : {Account::System, Account::OverTheShoulder, Account::ElevatedOwnDesktop,
                          Account::WithoutSplitToken}) {
    for (int sessions = account == Account::System ? 0 : 1; sessions <= 3; ++sessions) {
      for (Running running : {Running::None, Running::Some, Running::All, Running::OneNeverQuits}) {
        for (const auto& [mode, exitCode] : kModes) {
          StartOver();
          DWORD own = Stage(account, sessions, running);
          std::vector<std::string> expected;
          for (int s = 1; s <= sessions; ++s) {
            const Token& user = *machine().processes().FindSession(s)->user;
            bool reached = account == Account::System || s == static_cast<int>(own);
            bool ran = running == Running::All || running == Running::OneNeverQuits ||
                       (running == Running::Some && s == 1);
            bool stays = ran && (!reached || (running == Running::OneNeverQuits && s == 1));
            bool started = std::string(mode) == "install" && reached &&
                           (s != 3 || (ran && account == Account::System));
            if (stays || started) expected.push_back(Where(s, user.user, user.integrity));
          }
          std::sort(expected.begin(), expected.end());
          int exit = Run(mode);
          std::string problem;
          std::vector<std::string> actual = Companions(&problem);
          if (problem.empty() && actual != expected) problem = "companions differ";
          if (problem.empty() && exit != exitCode) problem = "exit " + std::to_string(exit);
          ++cases;
          if (problem.empty()) continue;
          ++wrong;
          std::string seen;
          for (const std::string& each : actual) seen += "\n  " + each;
          ADD_FAILURE() << mode << ", account " << static_cast<int>(account) << ", " << sessions
                        << " sessions, running " << static_cast<int>(running) << ": " << problem
                        << seen;
        }
      }
    }
  }
  printf("companion matrix: %u cases, %u wrong\n", cases, wrong);
  EXPECT_EQ(wrong, 0u);
}

}  // namespace
