// The dialog in Russian: the built catalogue is put where gettext looks by
// default (bound over the system's Russian catalogue folder in a private
// mount namespace of a child process), and the dialog runs with LANGUAGE=ru.
#include <gtest/gtest.h>
#include <locale.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <string>

#include "support/gui.h"
#include "support/program.h"
#include "support/testsupport.h"
#include "ui/tab_main.h"
#include "ui/ui.h"

using testsupport::cell;
using testsupport::readFile;

namespace {

const char* const kSystemCatalogues = "/usr/share/locale/ru/LC_MESSAGES";
const std::string kBuiltCatalogues = [] {
    std::string executable = DISCWREN_EXECUTABLE;
    return executable.substr(0, executable.rfind('/')) + "/po/ru/LC_MESSAGES";
}();

// In a child: makes the built catalogue the system's Russian one for this
// process alone, and sets a UTF-8 locale that the language can apply to
// (LANGUAGE is ignored under the C locale). An empty language keeps English.
bool prepareLocale(const std::string& language) {
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
        mount(kBuiltCatalogues.c_str(), kSystemCatalogues, nullptr, MS_BIND, nullptr))
        return false;
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", "C.UTF-8", 1);
    if (language.empty())
        unsetenv("LANGUAGE");
    else
        setenv("LANGUAGE", language.c_str(), 1);
    return true;
}

// Why the tests cannot run here, or "" when they can.
std::string unsupported() {
    if (geteuid() != 0) return "needs root for a private mount namespace";
    struct stat st;
    if (stat(kSystemCatalogues, &st) != 0) return std::string(kSystemCatalogues) + " is missing";
    if (locale_t utf8 = newlocale(LC_ALL_MASK, "C.UTF-8", nullptr))
        freelocale(utf8);
    else
        return "the C.UTF-8 locale is missing";
    if (testsupport::inChild([] { return prepareLocale("") ? 0 : 1; }) != 0)
        return "cannot bind a catalogue in a private mount namespace";
    return "";
}

#define SKIP_WHERE_UNSUPPORTED()                       \
    if (std::string why = unsupported(); !why.empty()) \
    GTEST_SKIP() << "Russian interface not tested: " << why

std::string tooltip(const char* id) { return testsupport::tooltipOf(uiWidget(id)); }

// What the user sees, read from the dialog started in the child's locale.
std::map<std::string, std::string> visibleTexts() {
    GtkTreeView* hotKeys = GTK_TREE_VIEW(uiWidget("treeviewHotKeys"));
    GtkTreePath* last = gtk_tree_path_new_from_indices(10, -1);
    gtk_tree_view_set_cursor(hotKeys, last, nullptr, FALSE);  // shows the row's tooltip
    gtk_tree_path_free(last);
    GtkTreeViewColumn* title =
        gtk_tree_view_get_column(GTK_TREE_VIEW(uiWidget("treeviewMainCDList")), 0);
    tabMainShowGameId(GAMEID_NO_DISC, "");
    GtkNotebook* readme = GTK_NOTEBOOK(uiWidget("notebookMainReadme"));
    return {
        {"tab", gtk_label_get_text(GTK_LABEL(uiWidget("labelMainSettings")))},
        {"button", gtk_button_get_label(GTK_BUTTON(uiWidget("buttonMainCancel")))},
        {"tooltip", tooltip("buttonMainOk")},
        {"frame", gtk_label_get_label(GTK_LABEL(uiWidget("labelCredits")))},
        {"combo entry", cell("liststoreMainCaching", 1, 0)},
        {"window title", gtk_window_get_title(windowMain)},
        {"check button tooltip", tooltip("checkbuttonMainEnableLogging")},
        {"column", title ? gtk_tree_view_column_get_title(title) : "(no column)"},
        {"no-disc entry", testsupport::shownCell(0, CDLIST_TITLE)},
        {"no-disc entry kept", cell("liststoreMainCDList", 0, CDLIST_FULL)},
        {"readme page",
         gtk_notebook_get_tab_label_text(
             readme, gtk_notebook_get_nth_page(readme, gtk_notebook_get_current_page(readme)))},
        {"hot key", cell("liststoreHotKeys", 0, 0)},
        {"key names", cell("liststoreHotKeys", 0, 1)},
        {"hot-key tooltip", tooltip("treeviewHotKeys")},
        {"disc ID line", testsupport::stateLine()},
    };
}

// Starts the dialog in a child process with the language given and returns
// what visibleTexts() read there.
std::map<std::string, std::string> textsIn(const std::string& language) {
    int channel[2];
    if (pipe(channel) != 0) return {};
    pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        int argc = 1;
        char name[] = "test_app", *args[] = {name, nullptr}, **argv = args;
        if (!prepareLocale(language) || !testsupport::startGtk(&argc, &argv)) _exit(1);
        testsupport::Dialog dialog;
        dialog.start();
        std::string report;
        for (const auto& [what, text] : visibleTexts()) report += what + '\0' + text + '\0';
        _exit(write(channel[1], report.data(), report.size()) == static_cast<ssize_t>(report.size())
                  ? 0
                  : 1);
    }
    close(channel[1]);
    std::string report;
    char buffer[4096];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;) report.append(buffer, n);
    close(channel[0]);
    waitpid(child, nullptr, 0);
    std::map<std::string, std::string> texts;
    for (size_t at = 0; at < report.size();) {
        size_t split = report.find('\0', at), end = report.find('\0', split + 1);
        texts[report.substr(at, split - at)] = report.substr(split + 1, end - split - 1);
        at = end + 1;
    }
    return texts;
}

TEST(Translation, RussianWhenAskedForAndEnglishByDefault) {
    SKIP_WHERE_UNSUPPORTED();
    const struct {
        const char* what;
        const char* english;
        const char* russian;
    } expected[] = {
        {"tab", "Settings", "Настройки"},
        {"button", "CANCEL", "ОТМЕНА"},
        {"tooltip", "Save and exit.", "Сохранить и выйти."},
        {"frame", "<b>Credits</b>", "<b>Благодарности</b>"},
        {"combo entry", "Read one sector at a time", "Чтение по одному сектору"},
        {"window title", "Ostrel_Vanu_CDR_Plugin v1.21", "Ostrel_Vanu_CDR_Plugin v1.21"},
        {"check button tooltip", "Enable debug output logging (discWren.log).",
         "Записывать отладочный вывод в журнал (discWren.log)."},
        {"column", "Title", "Название"},
        // Shown translated; the list and the settings file keep its stored name.
        {"no-disc entry", "No CD (bios shell)", "Нет диска (оболочка BIOS)"},
        {"no-disc entry kept", "No CD (bios shell)", "No CD (bios shell)"},
        {"readme page", "En", "Ru"},
        {"hot key", "Configuration dialog", "Диалог настройки"},
        {"disc ID line", "No disc in the drive", "В приводе нет диска"},
        // Key names stay as they are; the word for an empty slot is translated.
        {"key names", "Kb0_Control_Left + Alt_Left + 'C' / Unassigned",
         "Kb0_Control_Left + Alt_Left + 'C' / Не назначена"},
        {"hot-key tooltip",
         "Use this button to change a CD.\n- virtual drive cover opens.\n- then you choose a new "
         "disc.\n- and the cover closes.\nDefault: Kb0_F11",
         "Эта кнопка меняет диск:\n- открывается крышка виртуального привода;\n- вы выбираете "
         "новый диск;\n- крышка закрывается.\nПо умолчанию: Kb0_F11"},
    };
    std::map<std::string, std::string> english = textsIn(""), russian = textsIn("ru");
    ASSERT_EQ(english.size(), std::size(expected)) << "the English dialog did not report";
    ASSERT_EQ(russian.size(), std::size(expected)) << "the Russian dialog did not report";
    for (const auto& text : expected) {
        EXPECT_EQ(english[text.what], text.english) << text.what;
        EXPECT_EQ(russian[text.what], text.russian) << text.what;
    }
}

TEST(Translation, RealProgramInRussianWritesTheSameFile) {
    SKIP_WHERE_UNSUPPORTED();
    testsupport::ScratchDir dir;
    ASSERT_EQ(mkdir("elsewhere", 0755), 0);
    std::map<std::string, std::string> written;
    for (std::string language : {"", "ru"}) {
        std::string folder = dir.path() + "/install" + language;
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
        testsupport::writeFile(folder + "/cfgDiscWren", readFile(DISCWREN_EXECUTABLE));
        chmod((folder + "/cfgDiscWren").c_str(), 0755);
        apptest::Program program;
        ASSERT_TRUE(program.start(folder + "/cfgDiscWren", "elsewhere", folder + ".log",
                                  [&] { return prepareLocale(language); }));
        // gettext maps the catalogue it uses: Russian only when asked for.
        std::string maps = readFile("/proc/" + std::to_string(program.pid()) + "/maps");
        EXPECT_EQ(maps.find("/discWren.mo") != std::string::npos, !language.empty())
            << "language '" << language << "'";
        program.clickOk();
        EXPECT_EQ(program.exitStatus(), 0);
        written[language] = readFile(folder + "/discWren.ini");
        // A translation that breaks markup or formats shows up as a warning here.
        std::string messages = readFile(folder + ".log");
        EXPECT_EQ(messages.find("WARNING"), std::string::npos) << messages;
        EXPECT_EQ(messages.find("CRITICAL"), std::string::npos) << messages;
    }
    EXPECT_NE(written[""].find("[cd selection]"), std::string::npos);
    EXPECT_EQ(written["ru"], written[""]);
}

}  // namespace
