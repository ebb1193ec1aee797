// The "Readme" and "About" tabs.
#pragma once

#include <gtk/gtk.h>

// The address each link button of the About tab opens.
extern const char* const linkTargetGtk;
extern const char* const linkTargetIniparser;
extern const char* const linkTargetOpenal;
extern const char* const linkTargetLibogg;
extern const char* const linkTargetPthreads;
extern const char* const linkTargetZlib;
extern const char* const linkTargetPluginUpdate;
extern const char* const linkTargetForum;
extern const char* const linkTargetIrc;
extern const char* const linkTargetMail;

G_BEGIN_DECLS

void on_tab_readme_init(void);  // puts the manuals into their views
void on_tab_readme_update(void);
void on_tab_about_init(void);  // draws the flag
void on_tab_about_update(void);

// Each runs "xdg-open" with its address and waits for it.
void on_linkbuttonGtk_clicked(GtkButton* button, gpointer data);
void on_linkbuttonIniparser_clicked(GtkButton* button, gpointer data);
void on_linkbuttonOpenal_clicked(GtkButton* button, gpointer data);
void on_linkbuttonLibogg_clicked(GtkButton* button, gpointer data);
void on_linkbuttonPthreads_clicked(GtkButton* button, gpointer data);
void on_linkbuttonZlib_clicked(GtkButton* button, gpointer data);
void on_linkbuttonMainKorvanetPluginUpdate_clicked(GtkButton* button, gpointer data);
void on_linkbuttonMainKorvanetForum_clicked(GtkButton* button, gpointer data);
void on_linkbuttonMainKorvanetIrc_clicked(GtkButton* button, gpointer data);
void on_linkbuttonMainZanturMailto_clicked(GtkButton* button, gpointer data);

G_END_DECLS
