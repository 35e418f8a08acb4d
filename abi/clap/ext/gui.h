#pragma once

#include "../plugin.h"

static CLAP_CONSTEXPR const char CLAP_EXT_GUI[] = "clap.gui";

// Window systems; the name selects the member of clap_window's union.
static const CLAP_CONSTEXPR char CLAP_WINDOW_API_WIN32[] = "win32";   // HWND
static const CLAP_CONSTEXPR char CLAP_WINDOW_API_COCOA[] = "cocoa";   // NSView
static const CLAP_CONSTEXPR char CLAP_WINDOW_API_X11[] = "x11";       // X11 Window id
static const CLAP_CONSTEXPR char CLAP_WINDOW_API_WAYLAND[] = "wayland"; // floating windows only
static const CLAP_CONSTEXPR char CLAP_WINDOW_API_UIKIT[] = "uikit";   // UIView

#ifdef __cplusplus
extern "C" {
#endif

typedef void         *clap_hwnd;
typedef void         *clap_nsview;
typedef unsigned long clap_xwnd;
typedef void         *clap_uiview;

typedef struct clap_window {
   const char *api; // one of CLAP_WINDOW_API_*
   union {
      clap_nsview cocoa;
      clap_uiview uikit;
      clap_xwnd   x11;
      clap_hwnd   win32;
      void       *ptr; // for anything defined outside of these headers
   };
} clap_window_t;

// Constraints on the size the user may drag the window to.
typedef struct clap_gui_resize_hints {
   bool can_resize_horizontally;
   bool can_resize_vertically;

   // Only read when both directions can resize.
   bool     preserve_aspect_ratio;
   uint32_t aspect_ratio_width;
   uint32_t aspect_ratio_height;
} clap_gui_resize_hints_t;

// Sizes are in pixels, except on macOS where they are in points.
typedef struct clap_plugin_gui {
   // Whether the plug-in can embed (is_floating false) or float a window of this API. [main-thread]
   bool(CLAP_ABI *is_api_supported)(const clap_plugin_t *plugin, const char *api, bool is_floating);

   // Optional hint; the returned api string belongs to the plug-in. [main-thread]
   bool(CLAP_ABI *get_preferred_api)(const clap_plugin_t *plugin,
                                     const char         **api,
                                     bool                *is_floating);

   // Creates the GUI resources, not yet shown or parented. [main-thread]
   bool(CLAP_ABI *create)(const clap_plugin_t *plugin, const char *api, bool is_floating);

   // [main-thread]
   void(CLAP_ABI *destroy)(const clap_plugin_t *plugin);

   // Only for APIs without their own scale, eg: not cocoa; false if it was ignored. [main-thread]
   bool(CLAP_ABI *set_scale)(const clap_plugin_t *plugin, double scale);

   // [main-thread]
   bool(CLAP_ABI *get_size)(const clap_plugin_t *plugin, uint32_t *width, uint32_t *height);

   // [main-thread & !floating]
   bool(CLAP_ABI *can_resize)(const clap_plugin_t *plugin);

   // [main-thread & !floating]
   bool(CLAP_ABI *get_resize_hints)(const clap_plugin_t *plugin, clap_gui_resize_hints_t *hints);

   // Rounds a proposed size to the nearest size the plug-in can take. [main-thread & !floating]
   bool(CLAP_ABI *adjust_size)(const clap_plugin_t *plugin, uint32_t *width, uint32_t *height);

   // [main-thread & !floating]
   bool(CLAP_ABI *set_size)(const clap_plugin_t *plugin, uint32_t width, uint32_t height);

   // Embeds the GUI in the host's window. [main-thread & !floating]
   bool(CLAP_ABI *set_parent)(const clap_plugin_t *plugin, const clap_window_t *window);

   // Keeps a floating window above the given one. [main-thread & floating]
   bool(CLAP_ABI *set_transient)(const clap_plugin_t *plugin, const clap_window_t *window);

   // [main-thread & floating]
   void(CLAP_ABI *suggest_title)(const clap_plugin_t *plugin, const char *title);

   // [main-thread]
   bool(CLAP_ABI *show)(const clap_plugin_t *plugin);

   // Hides the window without destroying the resources. [main-thread]
   bool(CLAP_ABI *hide)(const clap_plugin_t *plugin);
} clap_plugin_gui_t;

typedef struct clap_host_gui {
   // The resize hints changed. [thread-safe & !floating]
   void(CLAP_ABI *resize_hints_changed)(const clap_host_t *host);

   // Asks the host to resize the client area; the host then calls set_size. [thread-safe & !floating]
   bool(CLAP_ABI *request_resize)(const clap_host_t *host, uint32_t width, uint32_t height);

   // [thread-safe]
   bool(CLAP_ABI *request_show)(const clap_host_t *host);

   // [thread-safe]
   bool(CLAP_ABI *request_hide)(const clap_host_t *host);

   // The floating window was closed, or the connection to the GUI was lost;
   // was_destroyed tells whether the host must call destroy(). [thread-safe]
   void(CLAP_ABI *closed)(const clap_host_t *host, bool was_destroyed);
} clap_host_gui_t;

#ifdef __cplusplus
}
#endif
