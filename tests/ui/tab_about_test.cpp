// The Readme and About tabs: texts, flag and link buttons.
#include "ui/tab_about.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/gui.h"
#include "ui/ui.h"

using testsupport::Dialog;
using testsupport::readFile;
using testsupport::Responder;
using testsupport::writeFile;

namespace {

std::string bufferText(GtkWidget* view) {
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    std::string copy = text;
    g_free(text);
    return copy;
}

TEST(ReadmeTab, BothManualsHaveTheirSectionsAndRejectTyping) {
    Dialog dialog;
    dialog.start();
    for (const char* id : {"textviewMainReadmeEn", "textviewMainReadmeRu"}) {
        GtkWidget* view = dialog.widget(id);
        EXPECT_FALSE(gtk_text_view_get_editable(GTK_TEXT_VIEW(view))) << id;
        EXPECT_EQ(gtk_text_view_get_wrap_mode(GTK_TEXT_VIEW(view)), GTK_WRAP_WORD) << id;
        std::string text = bufferText(view);
        EXPECT_GT(g_utf8_strlen(text.c_str(), -1), 7000) << id;
        const std::string rule = "\n" + std::string(52, '*') + "\n";
        size_t rules = 0;
        for (size_t at = text.find(rule); at != std::string::npos; at = text.find(rule, at + 1))
            rules++;
        EXPECT_EQ(rules, 7u) << id;
        for (int section = 1; section <= 7; section++)
            EXPECT_NE(text.find(rule + std::to_string(section) + "."), std::string::npos)
                << id << " section " << section;
        GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
        EXPECT_FALSE(gtk_text_buffer_insert_interactive_at_cursor(buffer, "typed", -1, FALSE));
        EXPECT_EQ(bufferText(view), text);
    }
    // The Russian manual is written in Cyrillic.
    std::string ru = bufferText(dialog.widget("textviewMainReadmeRu"));
    EXPECT_NE(ru.find("Известные проблемы"), std::string::npos);
}

TEST(AboutTab, TheTextIsInsensitiveAndTheFlagIsDrawn) {
    Dialog dialog;
    dialog.start();
    GtkWidget* about = dialog.widget("textviewMainAbout");
    EXPECT_FALSE(gtk_widget_get_sensitive(about));
    EXPECT_FALSE(gtk_text_view_get_editable(GTK_TEXT_VIEW(about)));
    EXPECT_NE(bufferText(about).find("1.21"), std::string::npos);

    GdkPixbuf* flag = gdkpixbufflags[0];
    ASSERT_NE(flag, nullptr);
    EXPECT_EQ(gtk_image_get_pixbuf(GTK_IMAGE(dialog.widget("imageMainFlagRussia"))), flag);
    ASSERT_EQ(gdk_pixbuf_get_width(flag), 128);
    ASSERT_EQ(gdk_pixbuf_get_height(flag), 85);
    const guchar* pixels = gdk_pixbuf_get_pixels(flag);
    int stride = gdk_pixbuf_get_rowstride(flag), channels = gdk_pixbuf_get_n_channels(flag);
    auto colour = [&](int x, int y) {
        const guchar* p = pixels + y * stride + x * channels;
        return (p[0] << 16) | (p[1] << 8) | p[2];
    };
    struct Pixel {
        int x, y, rgb;
    } expected[] = {
        {0, 0, 0xFFFFFF},  {126, 27, 0xFFFFFF}, {0, 28, 0x0000FF},   {126, 55, 0x0000FF},
        {0, 56, 0xFF0000}, {126, 83, 0xFF0000}, {127, 0, 0x232323},  {127, 83, 0x232323},
        {0, 84, 0x232323}, {126, 84, 0x232323}, {127, 84, 0x161616}, {64, 40, 0x0000FF},
    };
    for (const Pixel& p : expected) EXPECT_EQ(colour(p.x, p.y), p.rgb) << p.x << "," << p.y;
    for (GdkPixbuf* unused : {gdkpixbufflags[1], gdkpixbufflags[2], gdkpixbufflags[3]})
        EXPECT_EQ(unused, nullptr);
}

// The desktop's handler of web, IRC and mail addresses, set up in the test
// program's own data folder: a script that records what it opens.
void installLinkHandler(const std::string& log) {
    const std::string data = getenv("XDG_DATA_HOME");
    const std::string script = data + "/open-link";
    mkdir((data + "/applications").c_str(), 0755);
    const char* const schemes[] = {"http", "https", "irc", "mailto"};
    std::string types, defaults = "[Default Applications]\n";
    for (const char* scheme : schemes) {
        types += std::string("x-scheme-handler/") + scheme + ";";
        defaults += std::string("x-scheme-handler/") + scheme + "=discwren-links.desktop\n";
    }
    writeFile(data + "/applications/discwren-links.desktop",
              "[Desktop Entry]\nType=Application\nName=Links\nNoDisplay=true\nExec=" + script +
                  " %u\nMimeType=" + types + "\n");
    writeFile(data + "/applications/mimeapps.list", defaults);
    writeFile(script, "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + log + "'\n");
    chmod(script.c_str(), 0755);
}

// Each link button opens its address with the desktop's handler.
TEST(AboutTab, EachLinkButtonOpensItsAddress) {
    Dialog dialog;
    const std::string log = dialog.dir.path() + "/opened.log";
    installLinkHandler(log);
    dialog.start();

    struct Link {
        const char* id;
        const char* target;
        const char* name;  // credits carry "name ( address )", contacts the address
    } links[] = {
        {"linkbuttonGtk", linkTargetGtk, "gtk+"},
        {"linkbuttonIniparser", linkTargetIniparser, "iniparser"},
        {"linkbuttonOpenal", linkTargetOpenal, "openal"},
        {"linkbuttonLibogg", linkTargetLibogg, "libogg"},
        {"linkbuttonPthreads", linkTargetPthreads, "pthreads-win32"},
        {"linkbuttonZlib", linkTargetZlib, "zlib"},
        {"linkbuttonMainKorvanetPluginUpdate", linkTargetPluginUpdate, nullptr},
        {"linkbuttonMainKorvanetForum", linkTargetForum, nullptr},
        {"linkbuttonMainKorvanetIrc", linkTargetIrc, nullptr},
        {"linkbuttonMainZanturMailto", linkTargetMail, nullptr},
    };
    std::vector<std::string> expected;
    Responder responder;
    responder.answerMessages();
    for (const Link& link : links) {
        GtkWidget* button = dialog.widget(link.id);
        std::string label = gtk_button_get_label(GTK_BUTTON(button));
        if (link.name)
            EXPECT_EQ(label, std::string(link.name) + " ( " + link.target + " )");
        else
            EXPECT_EQ(std::string(link.target).find(label.substr(0, label.size() - 1)), 0u)
                << label;
        gtk_button_clicked(GTK_BUTTON(button));
        expected.push_back(link.target);
    }
    EXPECT_TRUE(responder.messages.empty());
    // The handlers run on their own; each adds its line when it does.
    std::sort(expected.begin(), expected.end());
    auto opened = [&] {
        std::vector<std::string> lines;
        std::istringstream in(readFile(log));
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        std::sort(lines.begin(), lines.end());
        return lines;
    };
    testsupport::waitFor([&] { return opened().size() >= expected.size(); }, "every link opened");
    EXPECT_EQ(opened(), expected);
    EXPECT_NE(std::string(linkTargetIrc).find(":6667/"), std::string::npos);
    EXPECT_EQ(std::string(linkTargetMail).rfind("mailto:", 0), 0u);
}

// Where nothing can open a link (the desktop's data folders hold no handler;
// GIO reads them once per process, so this runs in a program of its own), a
// message names the address and closes with its button.
TEST(AboutTab, ALinkNothingCanOpenIsReported) {
    if (!getenv("DISCWREN_NO_LINK_HANDLERS")) {
        testsupport::ScratchDir empty;
        std::string command = "DISCWREN_NO_LINK_HANDLERS=1 XDG_DATA_DIRS='" + empty.path() +
                              "' '/proc/" + std::to_string(getpid()) +
                              "/exe' --gtest_filter=AboutTab.ALinkNothingCanOpenIsReported";
        EXPECT_EQ(system(command.c_str()), 0);
        return;
    }
    Dialog dialog;
    dialog.start();
    Responder responder;
    responder.answerMessages();
    gtk_button_clicked(GTK_BUTTON(dialog.widget("linkbuttonMainKorvanetForum")));
    ASSERT_EQ(responder.messages.size(), 1u);
    EXPECT_NE(responder.messages[0].find(std::string("\"") + linkTargetForum + "\""),
              std::string::npos)
        << responder.messages[0];
    EXPECT_EQ(testsupport::visibleMessageDialog(), nullptr);
}

TEST(ReadmeTab, EachManualOpensAtItsFirstLineAndScrolls) {
    Dialog dialog;
    dialog.start();
    gtk_notebook_set_current_page(GTK_NOTEBOOK(dialog.widget("notebookMain")), 2);
    struct Page {
        const char* view;
        int page;
        const char* firstLine;
    } pages[] = {
        {"textviewMainReadmeEn", 0, "discWren CD-ROM plug-in 1.21 - user manual"},
        {"textviewMainReadmeRu", 1, "discWren CD-ROM plug-in 1.21 - руководство пользователя"}};
    for (const Page& p : pages) {
        gtk_notebook_set_current_page(GTK_NOTEBOOK(dialog.widget("notebookMainReadme")), p.page);
        GtkWidget* view = dialog.widget(p.view);
        GtkAdjustment* scroll =
            gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(gtk_widget_get_parent(view)));
        // Laid out and on screen: the manual is taller than its view.
        ASSERT_TRUE(testsupport::waitFor(
            [&] {
                return gtk_widget_get_mapped(view) &&
                       gtk_adjustment_get_upper(scroll) > 2 * gtk_adjustment_get_page_size(scroll);
            },
            p.view));
        EXPECT_EQ(gtk_adjustment_get_value(scroll), 0) << p.view;
        GtkTextIter top;
        int lineTop = -1;
        gtk_text_view_get_line_at_y(GTK_TEXT_VIEW(view), &top, 0, &lineTop);
        EXPECT_EQ(gtk_text_iter_get_line(&top), 0) << p.view;
        GtkTextIter end = top;
        gtk_text_iter_forward_to_line_end(&end);
        gchar* line = gtk_text_iter_get_text(&top, &end);
        EXPECT_EQ(std::string(line).rfind(p.firstLine, 0), 0u) << line;
        g_free(line);
    }
}

}  // namespace
