// Translation of the texts that the code itself shows. The program binds no
// catalogue folder of its own, so gettext looks where it looks by default
// (for a system-wide install /usr/share/locale/<lang>/LC_MESSAGES/discWren.mo).
#pragma once

#ifndef GETTEXT_PACKAGE
#define GETTEXT_PACKAGE "discWren"
#endif

#include <glib/gi18n-lib.h>

// _("text") translates at run time; N_("text") only marks a text for
// extraction, for tables that are translated where they are shown.
