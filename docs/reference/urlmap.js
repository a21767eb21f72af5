// Where links to GLib, GObject and GIO symbols lead.
baseURLs = [
  [ 'GLib', 'https://docs.gtk.org/glib/' ],
  [ 'GObject', 'https://docs.gtk.org/gobject/' ],
  [ 'Gio', 'https://docs.gtk.org/gio/' ],
]
