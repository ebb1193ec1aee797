#include "ui/tab_about.h"

#include <cstring>

#include "ui/i18n.h"
#include "ui/images.h"
#include "ui/ui.h"

const char* const linkTargetGtk = "https://www.gtk.org/";
const char* const linkTargetIniparser = "https://github.com/ndevilla/iniparser";
const char* const linkTargetOpenal = "https://www.openal.org/";
const char* const linkTargetLibogg = "https://xiph.org/ogg/";
const char* const linkTargetPthreads = "https://sourceware.org/pthreads-win32/";
const char* const linkTargetZlib = "https://zlib.net/";
const char* const linkTargetPluginUpdate = "http://korvanet.example/discwren/download/";
const char* const linkTargetForum = "http://forum.korvanet.example/viewforum.php?f=47";
const char* const linkTargetIrc = "irc://irc.korvanet.example:6667/discwren";
const char* const linkTargetMail = "mailto:zantur@korvanet.example";

namespace {

// Opens target with the desktop's handler for its kind of address; where
// there is none, or it cannot start, a message says so until it is closed.
void openLink(const char* target) {
    GError* error = nullptr;
    GdkScreen* screen = windowMain ? gtk_window_get_screen(windowMain) : gdk_screen_get_default();
    if (gtk_show_uri(screen, target, gtk_get_current_event_time(), &error)) return;
    GtkWidget* message = gtk_message_dialog_new(
        windowMain, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
        GTK_MESSAGE_ERROR, GTK_BUTTONS_CLOSE, _("Nothing on this system could open \"%s\"."),
        target);
    if (error)
        gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(message), "%s", error->message);
    g_clear_error(&error);
    gtk_window_set_title(GTK_WINDOW(message), "discWren");
    gtk_dialog_run(GTK_DIALOG(message));
    gtk_widget_destroy(message);
}

// The handlers below open the links; the buttons' own default action would
// try to show an address they do not carry.
void ignoreUri(GtkLinkButton*, const gchar*, gpointer) {}

}  // namespace

extern "C" {

void on_tab_readme_init(void) {
    // The manuals join their views only now that the window is up: measuring
    // them was the longest part of its first layout. From here the views lay
    // them out in the background, ahead of their page being shown.
    static const char* const views[][2] = {{"textviewMainReadmeEn", "textbufferReadmeEn"},
                                           {"textviewMainReadmeRu", "textbufferReadmeRu"}};
    for (const auto& pair : views) {
        GtkWidget* view = uiWidget(pair[0]);
        GObject* buffer = gtk_builder_get_object(builder, pair[1]);
        if (view && buffer && GTK_IS_TEXT_BUFFER(buffer))
            gtk_text_view_set_buffer(GTK_TEXT_VIEW(view), GTK_TEXT_BUFFER(buffer));
    }
    // The manual opens on the page of the interface's language.
    // TRANSLATORS: the tab label of the manual's page in your language.
    const char* ours = C_("manual page", "En");
    GtkWidget* pages = uiWidget("notebookMainReadme");
    if (!pages) return;
    GtkNotebook* notebook = GTK_NOTEBOOK(pages);
    for (int page = 0; page < gtk_notebook_get_n_pages(notebook); page++) {
        const char* label =
            gtk_notebook_get_tab_label_text(notebook, gtk_notebook_get_nth_page(notebook, page));
        if (label && strcmp(label, ours) == 0) gtk_notebook_set_current_page(notebook, page);
    }
}

void on_tab_readme_update(void) {}

void on_tab_about_init(void) {
    gtk_link_button_set_uri_hook(ignoreUri, nullptr, nullptr);
    gdkpixbufflags[0] = imagesFlag();
    widget = uiWidget("imageMainFlagRussia");
    if (widget) gtk_image_set_from_pixbuf(GTK_IMAGE(widget), gdkpixbufflags[0]);
}

void on_tab_about_update(void) {}

void on_linkbuttonGtk_clicked(GtkButton*, gpointer) { openLink(linkTargetGtk); }
void on_linkbuttonIniparser_clicked(GtkButton*, gpointer) { openLink(linkTargetIniparser); }
void on_linkbuttonOpenal_clicked(GtkButton*, gpointer) { openLink(linkTargetOpenal); }
void on_linkbuttonLibogg_clicked(GtkButton*, gpointer) { openLink(linkTargetLibogg); }
void on_linkbuttonPthreads_clicked(GtkButton*, gpointer) { openLink(linkTargetPthreads); }
void on_linkbuttonZlib_clicked(GtkButton*, gpointer) { openLink(linkTargetZlib); }
void on_linkbuttonMainKorvanetPluginUpdate_clicked(GtkButton*, gpointer) {
    openLink(linkTargetPluginUpdate);
}
void on_linkbuttonMainKorvanetForum_clicked(GtkButton*, gpointer) { openLink(linkTargetForum); }
void on_linkbuttonMainKorvanetIrc_clicked(GtkButton*, gpointer) { openLink(linkTargetIrc); }
void on_linkbuttonMainZanturMailto_clicked(GtkButton*, gpointer) { openLink(linkTargetMail); }

}  // extern "C"
