/* A GIMP-like program on the real GTK 2: it does with its windows what GIMP 2.x does in its
 * multi-window mode, so that the tests meet the toolkit itself rather than an imitation.
 *   - a toolbox and two docks with the utility hint, placed and sized from a session file
 *     (gtk_window_move and gtk_window_resize before the first show, as GIMP's sessionrc), saved
 *     at quit (gtk_window_get_position and gtk_window_get_size);
 *   - an empty image window at GTK's default position, whose closing quits; Tab in it hides
 *     and shows the toolbox and docks;
 *   - GIMP 2.10's close rules for images (--images=N): the first image takes over the empty
 *     window, closing a clean image closes it (the last one turns back into the empty window),
 *     closing an unsaved one (--dirty: the first) asks "Close ...?" with Cancel and Discard
 *     Changes; closing the toolbox or a dock loses only that dock;
 *   - a Preferences dialog, transient for the toolbox, hidden on close and shown again;
 *   - a real menu bar and a tooltip.
 * It prints what it does on its standard output, as the stand-in GIMP does:
 *   window <role> hwnd=<handle>     (role close: the question)
 *   quitting released=N docks-closed=M   (its windows standing on the desktop at quit, and
 *                                   the docks closes had lost)
 *   place <key> hwnd=... asked=x,y,w,h got=x,y,w,h   (frame corner on the screen, client size:
 *                                   what the program asked GTK for, what GTK then reports)
 * Messages posted to any of its windows: WM_APP+7 shows Preferences, WM_APP+8 prints the
 * places ("reported" after them), WM_APP+10 toggles the docks as Tab does, WM_APP+9 posted
 * to the question answers Discard Changes.
 *   gimplike.exe [--session=FILE] [--images=N] [--dirty]   (session: sessionrc beside it) */
#include <gdk/gdkkeysyms.h>
#include <gdk/gdkwin32.h>
#include <gtk/gtk.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#define CMD_PREFERENCES (WM_APP + 7)
#define CMD_REPORT (WM_APP + 8)
#define CMD_TOGGLE_DOCKS (WM_APP + 10)
#define CMD_DISCARD (WM_APP + 9)
#define MAX_IMAGES 8

typedef struct {
  const char* key;
  GtkWidget* window;
  int asked[4]; /* x, y, width, height; x < 0: GTK's default place */
} Managed;

static Managed managed[] = {
    {"toolbox", NULL, {20, 60, 200, 540}},
    {"dock1", NULL, {1010, 60, 240, 440}},
    {"dock2", NULL, {1010, 560, 240, 380}},
    {"image", NULL, {-1, -1, 640, 480}},
};
enum { kToolbox, kDock1, kDock2, kImage, kManaged };

static GtkWidget* prefs;
static gboolean docks_hidden;
static GtkWidget* images[MAX_IMAGES]; /* image windows, image 1 in the empty window */
static int image_count;
static GtkWidget* unsaved;  /* the image window with unsaved changes */
static GtkWidget* question; /* "Close ...?" about `unsaved` */
static int docks_closed;
static char session_file[MAX_PATH];

static HWND hwnd_of(GtkWidget* window) {
  return gtk_widget_get_window(window) ? GDK_WINDOW_HWND(gtk_widget_get_window(window)) : NULL;
}

static void say(const char* role, GtkWidget* window) {
  printf("window %s hwnd=%llx\n", role, (unsigned long long)(UINT_PTR)hwnd_of(window));
  fflush(stdout);
}

static void print_place(const char* key, GtkWidget* window, const int asked[4]) {
  int x = 0, y = 0, w = 0, h = 0;
  gtk_window_get_position(GTK_WINDOW(window), &x, &y);
  gtk_window_get_size(GTK_WINDOW(window), &w, &h);
  printf("place %s hwnd=%llx asked=%d,%d,%d,%d got=%d,%d,%d,%d\n", key,
         (unsigned long long)(UINT_PTR)hwnd_of(window), asked[0], asked[1], asked[2], asked[3], x,
         y, w, h);
}

static void report(void) {
  int i;
  for (i = 0; i < kManaged; ++i) {
    if (managed[i].window && gtk_widget_get_visible(managed[i].window))
      print_place(managed[i].key, managed[i].window, managed[i].asked);
  }
  if (prefs && gtk_widget_get_visible(prefs)) {
    int none[4] = {-1, -1, 360, 240};
    print_place("dialog", prefs, none);
  }
  printf("reported\n");
  fflush(stdout);
}

static void load_session(void) {
  FILE* in = fopen(session_file, "r");
  char key[32];
  int r[4], i;
  if (!in) return;
  while (fscanf(in, "%31s %d %d %d %d", key, &r[0], &r[1], &r[2], &r[3]) == 5) {
    for (i = 0; i < kImage; ++i) {
      if (strcmp(key, managed[i].key) == 0) memcpy(managed[i].asked, r, sizeof(r));
    }
  }
  fclose(in);
}

static void save_session(void) {
  FILE* out = fopen(session_file, "w");
  int i, x, y, w, h;
  if (!out) return;
  for (i = 0; i < kImage; ++i) {
    if (!managed[i].window) continue;
    gtk_window_get_position(GTK_WINDOW(managed[i].window), &x, &y);
    gtk_window_get_size(GTK_WINDOW(managed[i].window), &w, &h);
    fprintf(out, "%s %d %d %d %d\n", managed[i].key, x, y, w, h);
  }
  fclose(out);
}

static void quit(void) {
  int i, released = 0;
  for (i = 0; i < kManaged; ++i) {
    if (managed[i].window &&
        GetAncestor(hwnd_of(managed[i].window), GA_PARENT) == GetDesktopWindow())
      ++released;
  }
  for (i = 0; i < image_count; ++i) {
    if (images[i] && images[i] != managed[kImage].window &&
        GetAncestor(hwnd_of(images[i]), GA_PARENT) == GetDesktopWindow())
      ++released;
  }
  printf("quitting released=%d docks-closed=%d\n", released, docks_closed);
  fflush(stdout);
  save_session();
  gtk_main_quit();
}

static void toggle_docks(void) {
  int i;
  docks_hidden = !docks_hidden;
  for (i = kToolbox; i <= kDock2; ++i) {
    if (docks_hidden)
      gtk_widget_hide(managed[i].window);
    else
      gtk_widget_show(managed[i].window);
  }
  printf(docks_hidden ? "docks hidden\n" : "docks shown\n");
  fflush(stdout);
}

static void show_preferences(void) {
  if (!prefs) {
    prefs = gtk_dialog_new_with_buttons("Preferences", GTK_WINDOW(managed[kToolbox].window), 0,
                                        GTK_STOCK_CLOSE, GTK_RESPONSE_CLOSE, NULL);
    gtk_window_set_role(GTK_WINDOW(prefs), "gimp-preferences");
    gtk_window_set_default_size(GTK_WINDOW(prefs), 360, 240);
    g_signal_connect(prefs, "delete-event", G_CALLBACK(gtk_widget_hide_on_delete), NULL);
    g_signal_connect(prefs, "response", G_CALLBACK(gtk_widget_hide), NULL);
    gtk_widget_realize(prefs);
    say("dialog", prefs);
  }
  gtk_widget_show_all(prefs);
  printf("preferences shown\n");
  fflush(stdout);
}

/* Every message GDK takes for its windows passes here first: the tests' commands. */
static GdkFilterReturn commands(GdkXEvent* xevent, GdkEvent* event, gpointer data) {
  MSG* msg = (MSG*)xevent;
  (void)event;
  (void)data;
  switch (msg->message) {
    case CMD_PREFERENCES:
      show_preferences();
      return GDK_FILTER_REMOVE;
    case CMD_REPORT:
      report();
      return GDK_FILTER_REMOVE;
    case CMD_TOGGLE_DOCKS:
      toggle_docks();
      return GDK_FILTER_REMOVE;
    case CMD_DISCARD:
      if (question && msg->hwnd == hwnd_of(question))
        gtk_dialog_response(GTK_DIALOG(question), GTK_RESPONSE_REJECT);
      return GDK_FILTER_REMOVE;
    default:
      return GDK_FILTER_CONTINUE;
  }
}

static gboolean image_key(GtkWidget* widget, GdkEventKey* key, gpointer data) {
  (void)widget;
  (void)data;
  if (key->keyval != GDK_Tab) return FALSE;
  toggle_docks();
  return TRUE;
}

static int open_images(void) {
  int i, n = 0;
  for (i = 0; i < image_count; ++i) n += images[i] != NULL;
  return n;
}

/* A clean image closes with its window; the last one leaves its window as the empty one. */
static void close_image(GtkWidget* window) {
  int i;
  if (window == unsaved) unsaved = NULL;
  for (i = 0; i < image_count; ++i) {
    if (images[i] == window) images[i] = NULL;
  }
  if (open_images() == 0) {
    gtk_window_set_title(GTK_WINDOW(window), "GNU Image Manipulation Program");
    managed[kImage].window = window;
    say("empty", window);
  } else {
    if (managed[kImage].window == window) managed[kImage].window = NULL;
    gtk_widget_destroy(window);
  }
}

static void answered(GtkDialog* dialog, gint response, gpointer data) {
  (void)data;
  gtk_widget_destroy(GTK_WIDGET(dialog)); /* GIMP destroys it first, then closes the image */
  question = NULL;
  if (response == GTK_RESPONSE_REJECT && unsaved) {
    close_image(unsaved);
    printf("changes discarded\n");
  } else {
    printf("close declined\n");
  }
  fflush(stdout);
}

static void ask_before_close(GtkWidget* image) {
  if (question) {
    gtk_window_present(GTK_WINDOW(question));
    return;
  }
  question = gtk_dialog_new_with_buttons("Close Untitled?", GTK_WINDOW(image), 0, GTK_STOCK_CANCEL,
                                         GTK_RESPONSE_CANCEL, "_Discard Changes",
                                         GTK_RESPONSE_REJECT, NULL);
  g_signal_connect(question, "response", G_CALLBACK(answered), NULL);
  gtk_widget_show_all(question);
  say("close", question);
}

static gboolean image_delete(GtkWidget* widget, GdkEvent* event, gpointer data) {
  (void)event;
  (void)data;
  if (open_images() == 0) {
    quit(); /* the empty image window */
  } else if (widget == unsaved) {
    ask_before_close(widget);
  } else {
    close_image(widget);
  }
  return TRUE;
}

static gboolean dock_delete(GtkWidget* widget, GdkEvent* event, gpointer data) {
  (void)widget;
  (void)event;
  (void)data;
  ++docks_closed;
  printf("dock closed\n");
  fflush(stdout);
  return FALSE; /* GTK destroys it */
}

static GtkWidget* menu_bar(void) {
  GtkWidget* bar = gtk_menu_bar_new();
  GtkWidget* file = gtk_menu_item_new_with_mnemonic("_File");
  GtkWidget* file_menu = gtk_menu_new();
  GtkWidget* quit_item = gtk_menu_item_new_with_mnemonic("_Quit");
  GtkWidget* edit = gtk_menu_item_new_with_mnemonic("_Edit");
  GtkWidget* edit_menu = gtk_menu_new();
  GtkWidget* prefs_item = gtk_menu_item_new_with_mnemonic("_Preferences");
  g_signal_connect(quit_item, "activate", G_CALLBACK(quit), NULL);
  g_signal_connect(prefs_item, "activate", G_CALLBACK(show_preferences), NULL);
  gtk_menu_shell_append(GTK_MENU_SHELL(file_menu), quit_item);
  gtk_menu_shell_append(GTK_MENU_SHELL(edit_menu), prefs_item);
  gtk_menu_item_set_submenu(GTK_MENU_ITEM(file), file_menu);
  gtk_menu_item_set_submenu(GTK_MENU_ITEM(edit), edit_menu);
  gtk_menu_shell_append(GTK_MENU_SHELL(bar), file);
  gtk_menu_shell_append(GTK_MENU_SHELL(bar), edit);
  return bar;
}

/* A session-managed window: moved and sized before its first show, as GIMP restores one. */
static GtkWidget* dock_window(int index, const char* title, const char* role) {
  Managed* m = &managed[index];
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWidget* label = gtk_label_new(title);
  gtk_window_set_title(GTK_WINDOW(window), title);
  gtk_window_set_role(GTK_WINDOW(window), role);
  gtk_window_set_type_hint(GTK_WINDOW(window), GDK_WINDOW_TYPE_HINT_UTILITY);
  gtk_container_add(GTK_CONTAINER(window), label);
  gtk_window_move(GTK_WINDOW(window), m->asked[0], m->asked[1]);
  gtk_window_resize(GTK_WINDOW(window), m->asked[2], m->asked[3]);
  m->window = window;
  return window;
}

int main(int argc, char** argv) {
  GtkWidget *toolbox, *box, *button, *image;
  int i, wanted = 0;
  gboolean dirty = FALSE;
  char* slash;
  GetModuleFileNameA(NULL, session_file, MAX_PATH);
  slash = strrchr(session_file, '\\');
  strcpy(slash ? slash + 1 : session_file, "sessionrc");
  for (i = 1; i < argc; ++i) {
    if (strncmp(argv[i], "--session=", 10) == 0) g_strlcpy(session_file, argv[i] + 10, MAX_PATH);
    if (strncmp(argv[i], "--images=", 9) == 0) wanted = MIN(atoi(argv[i] + 9), MAX_IMAGES);
    if (strcmp(argv[i], "--dirty") == 0) dirty = TRUE;
  }
  gtk_init(&argc, &argv);
  load_session();
  gdk_window_add_filter(NULL, commands, NULL);

  toolbox = dock_window(kToolbox, "Toolbox", "gimp-toolbox");
  gtk_container_remove(GTK_CONTAINER(toolbox), gtk_bin_get_child(GTK_BIN(toolbox)));
  box = gtk_vbox_new(FALSE, 0);
  button = gtk_button_new_with_label("Rectangle Select");
  gtk_widget_set_tooltip_text(button, "Select a rectangular part of an image");
  gtk_box_pack_start(GTK_BOX(box), menu_bar(), FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), button, FALSE, FALSE, 0);
  gtk_container_add(GTK_CONTAINER(toolbox), box);
  g_signal_connect(toolbox, "delete-event", G_CALLBACK(dock_delete), NULL);
  g_signal_connect(toolbox, "delete-event", G_CALLBACK(gtk_widget_hide_on_delete), NULL);
  g_signal_connect(dock_window(kDock1, "Layers, Channels, Paths, Undo", "gimp-dock"),
                   "delete-event", G_CALLBACK(dock_delete), NULL);
  g_signal_connect(dock_window(kDock2, "Brushes, Patterns, Gradients", "gimp-dock"), "delete-event",
                   G_CALLBACK(dock_delete), NULL);

  /* The empty image window: GTK's default place, only a default size. */
  image = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(image), "GNU Image Manipulation Program");
  gtk_window_set_role(GTK_WINDOW(image), "gimp-image-window");
  gtk_window_set_default_size(GTK_WINDOW(image), managed[kImage].asked[2],
                              managed[kImage].asked[3]);
  gtk_container_add(GTK_CONTAINER(image), gtk_label_new("Drop an image here"));
  g_signal_connect(image, "key-press-event", G_CALLBACK(image_key), NULL);
  g_signal_connect(image, "delete-event", G_CALLBACK(image_delete), NULL);
  managed[kImage].window = image;

  for (i = 0; i < kManaged; ++i) gtk_widget_show_all(managed[i].window);
  say("main", image);
  for (image_count = 0; image_count < wanted; ++image_count) {
    GtkWidget* w = image;
    char title[64];
    g_snprintf(title, sizeof(title), "[Untitled]-%d.0 (RGB color 8-bit) 400x300 \xe2\x80\x93 GIMP",
               image_count + 1);
    if (image_count > 0) {
      w = gtk_window_new(GTK_WINDOW_TOPLEVEL);
      gtk_window_set_role(GTK_WINDOW(w), "gimp-image-window");
      gtk_window_set_default_size(GTK_WINDOW(w), 400, 300);
      gtk_container_add(GTK_CONTAINER(w), gtk_label_new("An image"));
      g_signal_connect(w, "delete-event", G_CALLBACK(image_delete), NULL);
      gtk_widget_show_all(w);
    }
    gtk_window_set_title(GTK_WINDOW(w), title);
    images[image_count] = w;
    say("image", w);
  }
  if (dirty && image_count > 0) unsaved = images[0];
  say("toolbox", toolbox);
  say("dock", managed[kDock1].window);
  say("dock", managed[kDock2].window);
  printf("ready\n");
  fflush(stdout);
  report();
  gtk_main();
  printf("closed\n");
  fflush(stdout);
  return 0;
}
