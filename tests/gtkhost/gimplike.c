/* A GIMP-like program on the real GTK 2: it does with its windows what GIMP 2.x does in its
 * multi-window mode, so that the tests meet the toolkit itself rather than an imitation.
 *   - a toolbox and two docks with the utility hint, placed and sized from a session file
 *     (gtk_window_move and gtk_window_resize before the first show, as GIMP's sessionrc), saved
 *     at quit (gtk_window_get_position and gtk_window_get_size);
 *   - an empty image window at GTK's default position, whose closing quits; Tab in it hides
 *     and shows the toolbox and docks;
 *   - a Preferences dialog, transient for the toolbox, hidden on close and shown again;
 *   - a real menu bar and a tooltip.
 * It prints what it does on its standard output, as the stand-in GIMP does:
 *   window <role> hwnd=<handle>
 *   place <key> hwnd=... asked=x,y,w,h got=x,y,w,h   (frame corner on the screen, client size:
 *                                   what the program asked GTK for, what GTK then reports)
 * Messages posted to any of its windows: WM_APP+7 shows Preferences, WM_APP+8 prints the
 * places ("reported" after them), WM_APP+10 toggles the docks as Tab does.
 *   gimplike.exe [--session=FILE]   (default: sessionrc beside the program) */
#include <gdk/gdkkeysyms.h>
#include <gdk/gdkwin32.h>
#include <gtk/gtk.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#define CMD_PREFERENCES (WM_APP + 7)
#define CMD_REPORT (WM_APP + 8)
#define CMD_TOGGLE_DOCKS (WM_APP + 10)

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
  printf("quitting\n");
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

static gboolean image_delete(GtkWidget* widget, GdkEvent* event, gpointer data) {
  (void)widget;
  (void)event;
  (void)data;
  quit();
  return TRUE;
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
  int i;
  char* slash;
  GetModuleFileNameA(NULL, session_file, MAX_PATH);
  slash = strrchr(session_file, '\\');
  strcpy(slash ? slash + 1 : session_file, "sessionrc");
  for (i = 1; i < argc; ++i) {
    if (strncmp(argv[i], "--session=", 10) == 0) g_strlcpy(session_file, argv[i] + 10, MAX_PATH);
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
  g_signal_connect(toolbox, "delete-event", G_CALLBACK(gtk_widget_hide_on_delete), NULL);
  dock_window(kDock1, "Layers, Channels, Paths, Undo", "gimp-dock");
  dock_window(kDock2, "Brushes, Patterns, Gradients", "gimp-dock");

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
