#pragma once

// Owners for the GLib and cairo objects the SVG and PDF renderers hold: each is released on
// every way out, failures included.

#include <cairo.h>
#include <glib-object.h>

namespace pivana::image {

struct GObjectDeleter {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
    void operator()(cairo_t* context) const { cairo_destroy(context); }
};

}  // namespace pivana::image
