// file-vostrel-art: the image editor's file plug-in for .ART sprites. It registers a load and a
// save procedure for the .art extension and does only what needs the editor's library: reading
// its arguments, making and reading images, layers, colour maps and parasites, and the palette
// dialog. What to make and what to write is decided in art_layers.cpp.
#include <libgimp/gimp.h>
#include <libgimp/gimpui.h>

#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "io/files.hpp"
#include "platform/platform.hpp"
#include "platform/replace_file.hpp"
#include "programs/gimp/art_layers.hpp"

namespace {

using vostrel::ArtSource;

constexpr const char* kLoadProcedure = "file-vostrel-art-load";
constexpr const char* kSaveProcedure = "file-vostrel-art-save";
constexpr const char* kExtension = "art";
// The most a parasite holds: its size is a 32-bit count, and two bytes go before the file's.
constexpr std::uint64_t kMaxFileBytes = UINT32_MAX - 2;

// The return values of the last run: the editor reads them after run() returns, so they outlive
// it, as do the strings they point to.
GimpParam returnValues[2];
std::string returnError;

void Finish(gint* count, GimpParam** values, GimpPDBStatusType status) {
  returnValues[0].type = GIMP_PDB_STATUS;
  returnValues[0].data.d_status = status;
  *count = 1;
  *values = returnValues;
}

void Fail(gint* count, GimpParam** values, std::string message) {
  returnError = std::move(message);
  Finish(count, values, GIMP_PDB_EXECUTION_ERROR);
  returnValues[1].type = GIMP_PDB_STRING;
  returnValues[1].data.d_string = returnError.data();
  *count = 2;
}

std::string DisplayName(const char* path) {
  std::unique_ptr<gchar, decltype(&g_free)> name(g_filename_display_basename(path), g_free);
  return name ? name.get() : path;
}

struct FileBytes {
  std::optional<std::vector<std::uint8_t>> bytes;
  std::string error;
};

FileBytes ReadArt(const char* path) {
  vostrel::ReadResult read =
      vostrel::ReadWholeFile(vostrel::platform::SystemFiles(), path, kMaxFileBytes);
  switch (read.status) {
    case vostrel::ReadStatus::kOk:
      return {std::move(read.bytes), {}};
    case vostrel::ReadStatus::kTooLarge:
      return {std::nullopt, DisplayName(path) + ": is too large (more than 4 GiB) to open"};
    case vostrel::ReadStatus::kCannotOpen:
    case vostrel::ReadStatus::kReadError:
      break;
  }
  return {std::nullopt, DisplayName(path) +
                            ": Could not load ART file (cannot be opened or read: missing, "
                            "unreadable, or not a regular file); check its name and that you "
                            "may read it"};
}

// Asks which palette to show; nothing when the user cancels.
std::optional<std::int32_t> AskPalette(const std::string& name, std::int32_t count) {
  gimp_ui_init("file-vostrel-art", FALSE);
  GtkWidget* dialog = gimp_dialog_new(
      "Open .art sprite", "file-vostrel-art", nullptr, GtkDialogFlags(0), gimp_standard_help_func,
      kLoadProcedure, "_Cancel", GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_OK, nullptr);
  GtkWidget* box = gtk_hbox_new(FALSE, 12);
  gtk_container_set_border_width(GTK_CONTAINER(box), 12);
  const std::string text = name + " has " + std::to_string(count) + " palettes. Show palette:";
  gtk_box_pack_start(GTK_BOX(box), gtk_label_new(text.c_str()), FALSE, FALSE, 0);
  GtkWidget* combo = gimp_int_combo_box_new("1", 1, "2", 2, nullptr);
  if (count >= 3) {
    gimp_int_combo_box_append(GIMP_INT_COMBO_BOX(combo), GIMP_INT_STORE_VALUE, 3,
                              GIMP_INT_STORE_LABEL, "3", -1);
  }
  if (count >= 4) {
    gimp_int_combo_box_append(GIMP_INT_COMBO_BOX(combo), GIMP_INT_STORE_VALUE, 4,
                              GIMP_INT_STORE_LABEL, "4", -1);
  }
  gimp_int_combo_box_set_active(GIMP_INT_COMBO_BOX(combo), 1);
  gtk_box_pack_start(GTK_BOX(box), combo, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), box, TRUE, TRUE, 0);
  gtk_widget_show_all(dialog);
  const bool chosen = gimp_dialog_run(GIMP_DIALOG(dialog)) == GTK_RESPONSE_OK;
  gint palette = 1;
  gimp_int_combo_box_get_active(GIMP_INT_COMBO_BOX(combo), &palette);
  gtk_widget_destroy(dialog);
  if (!chosen) {
    return std::nullopt;
  }
  return palette;
}

void WritePixels(gint32 drawable, std::int32_t width, std::int32_t height, const void* pixels) {
  GeglBuffer* buffer = gimp_drawable_get_buffer(drawable);
  const GeglRectangle area{0, 0, width, height};
  gegl_buffer_set(buffer, &area, 0, gimp_drawable_get_format(drawable), pixels,
                  GEGL_AUTO_ROWSTRIDE);
  g_object_unref(buffer);
}

void AttachSource(gint32 image, const ArtSource& source) {
  const std::vector<std::uint8_t> data = vostrel::EncodeSource(source);
  GimpParasite* parasite = gimp_parasite_new(vostrel::kSourceParasiteName, GIMP_PARASITE_PERSISTENT,
                                             static_cast<guint32>(data.size()), data.data());
  gimp_image_attach_parasite(image, parasite);
  gimp_parasite_free(parasite);
}

void Load(const GimpParam* params, gint paramCount, gint* count, GimpParam** values) {
  const auto runMode = static_cast<GimpRunMode>(params[0].data.d_int32);
  const char* path = params[1].data.d_string;
  const std::string name = DisplayName(path);
  const std::int32_t argument = paramCount > 3 ? params[3].data.d_int32 : 0;
  std::optional<std::int32_t> palette = vostrel::PaletteArgument(argument);
  if (!palette) {
    Fail(count, values,
         "palette " + std::to_string(argument) +
             " is not a palette number: give 1 to 4 (0 "
             "means 1)");
    return;
  }
  FileBytes file = ReadArt(path);
  if (!file.bytes) {
    Fail(count, values, file.error);
    return;
  }
  if (runMode == GIMP_RUN_INTERACTIVE && argument == 0) {
    vostrel::SpriteLoad load = vostrel::ParseSprite(*file.bytes);
    if (load.sprite && load.sprite->PaletteCount() > 1) {
      palette = AskPalette(name, load.sprite->PaletteCount());
      if (!palette) {
        Finish(count, values, GIMP_PDB_CANCEL);
        return;
      }
    }
  }
  vostrel::OpenResult open = vostrel::PlanImage(*file.bytes, *palette, name);
  if (!open.plan) {
    Fail(count, values, open.error);
    return;
  }
  const vostrel::ImagePlan& plan = *open.plan;
  const gint32 image = gimp_image_new(plan.width, plan.height, GIMP_INDEXED);
  gimp_image_undo_disable(image);
  gimp_image_set_filename(image, path);
  gimp_image_set_colormap(image, plan.colourMap.data(),
                          static_cast<gint>(vostrel::kPaletteEntries));
  // Inserted bottom first, each on top of the ones before.
  for (auto layer = plan.layers.rbegin(); layer != plan.layers.rend(); ++layer) {
    const bool standIn = layer->kind != vostrel::LayerKind::kPicture;
    const gint32 id = gimp_layer_new(image, layer->name.c_str(), layer->width, layer->height,
                                     standIn ? GIMP_INDEXEDA_IMAGE : GIMP_INDEXED_IMAGE, 100.0,
                                     GIMP_LAYER_MODE_NORMAL);
    gimp_image_insert_layer(image, id, 0, 0);
    if (standIn) {
      const std::uint8_t clear[2] = {0, 0};  // index 0, fully transparent
      WritePixels(id, 1, 1, clear);
    } else {
      WritePixels(id, layer->width, layer->height, layer->indices.data());
    }
  }
  AttachSource(image, ArtSource{*palette, std::move(*file.bytes)});
  gimp_image_undo_enable(image);
  Finish(count, values, GIMP_PDB_SUCCESS);
  returnValues[1].type = GIMP_PDB_IMAGE;
  returnValues[1].data.d_image = image;
  *count = 2;
}

// Every layer that is not a group, top of the stack first.
void CollectLayers(const gint* ids, gint idCount, std::vector<gint32>& out) {
  for (gint i = 0; i < idCount; ++i) {
    if (gimp_item_is_group(ids[i])) {
      gint childCount = 0;
      gint* children = gimp_item_get_children(ids[i], &childCount);
      CollectLayers(children, childCount, out);
      g_free(children);
    } else {
      out.push_back(ids[i]);
    }
  }
}

vostrel::ImagePixels ReadImage(gint32 image) {
  vostrel::ImagePixels pixels;
  pixels.indexed = gimp_image_base_type(image) == GIMP_INDEXED;
  if (!pixels.indexed) {
    return pixels;
  }
  gint colours = 0;
  guchar* map = gimp_image_get_colormap(image, &colours);
  if (map != nullptr && colours > 0) {
    pixels.colourMap.assign(map, map + colours * 3);
  }
  g_free(map);
  gint layerCount = 0;
  gint* top = gimp_image_get_layers(image, &layerCount);
  std::vector<gint32> ids;
  CollectLayers(top, layerCount, ids);
  g_free(top);
  for (const gint32 id : ids) {
    vostrel::LayerPixels layer;
    gchar* name = gimp_item_get_name(id);
    layer.name = name != nullptr ? name : "";
    g_free(name);
    layer.width = gimp_drawable_width(id);
    layer.height = gimp_drawable_height(id);
    layer.hasAlpha = gimp_drawable_has_alpha(id);
    const Babl* format = gimp_drawable_get_format(id);
    const auto bytes = static_cast<std::size_t>(babl_format_get_bytes_per_pixel(format));
    layer.pixels.resize(static_cast<std::size_t>(layer.width) *
                        static_cast<std::size_t>(layer.height) * bytes);
    GeglBuffer* buffer = gimp_drawable_get_buffer(id);
    const GeglRectangle area{0, 0, layer.width, layer.height};
    gegl_buffer_get(buffer, &area, 1.0, format, layer.pixels.data(), GEGL_AUTO_ROWSTRIDE,
                    GEGL_ABYSS_NONE);
    g_object_unref(buffer);
    pixels.layers.push_back(std::move(layer));
  }
  return pixels;
}

std::optional<ArtSource> SourceOf(gint32 image) {
  GimpParasite* parasite = gimp_image_get_parasite(image, vostrel::kSourceParasiteName);
  if (parasite == nullptr) {
    return std::nullopt;
  }
  const auto* data = static_cast<const std::uint8_t*>(gimp_parasite_data(parasite));
  const auto size = static_cast<std::size_t>(gimp_parasite_data_size(parasite));
  std::optional<ArtSource> source =
      vostrel::DecodeSource(std::span<const std::uint8_t>(data, size));
  gimp_parasite_free(parasite);
  if (!source) {
    return ArtSource{};  // a record that cannot be read: refused as damaged
  }
  return source;
}

void Save(const GimpParam* params, gint* count, GimpParam** values) {
  const gint32 image = params[1].data.d_image;
  const char* path = params[3].data.d_string;
  const std::string name = DisplayName(path);
  const std::optional<ArtSource> source = SourceOf(image);
  vostrel::SaveResult saved = vostrel::BuildSavedFile(source, ReadImage(image));
  if (!saved.bytes) {
    Fail(count, values, "Could not export " + name + ": " + saved.error);
    return;
  }
  if (const auto reason = vostrel::ReplaceFileWith(path, *saved.bytes)) {
    Fail(count, values,
         name + ": cannot be written (" + *reason +
             "); check that its folder exists and that you may write there");
    return;
  }
  // Later exports compare with the file as it now is; an image made anew shows its palette 1.
  AttachSource(image, ArtSource{source ? source->palette : 1, std::move(*saved.bytes)});
  Finish(count, values, GIMP_PDB_SUCCESS);
}

void Query() {
  static const GimpParamDef loadArgs[] = {
      {GIMP_PDB_INT32, const_cast<gchar*>("run-mode"),
       const_cast<gchar*>("The run mode { RUN-INTERACTIVE (0), RUN-NONINTERACTIVE (1) }")},
      {GIMP_PDB_STRING, const_cast<gchar*>("filename"),
       const_cast<gchar*>("The name of the file to load")},
      {GIMP_PDB_STRING, const_cast<gchar*>("raw-filename"), const_cast<gchar*>("The name entered")},
      {GIMP_PDB_INT32, const_cast<gchar*>("palette"),
       const_cast<gchar*>("The palette to show, 1 to 4 (0 means 1); one the file lacks is "
                          "refused")},
  };
  static const GimpParamDef loadReturns[] = {
      {GIMP_PDB_IMAGE, const_cast<gchar*>("image"), const_cast<gchar*>("Output image")},
  };
  static const GimpParamDef saveArgs[] = {
      {GIMP_PDB_INT32, const_cast<gchar*>("run-mode"),
       const_cast<gchar*>("The run mode { RUN-INTERACTIVE (0), RUN-NONINTERACTIVE (1) }")},
      {GIMP_PDB_IMAGE, const_cast<gchar*>("image"),
       const_cast<gchar*>("Indexed image, a layer a frame named \"Picture P Frame F\"")},
      {GIMP_PDB_DRAWABLE, const_cast<gchar*>("drawable"),
       const_cast<gchar*>("Ignored: every layer is saved")},
      {GIMP_PDB_STRING, const_cast<gchar*>("filename"),
       const_cast<gchar*>("The name of the file to save the image in")},
      {GIMP_PDB_STRING, const_cast<gchar*>("raw-filename"), const_cast<gchar*>("The name entered")},
  };
  gimp_install_procedure(
      kLoadProcedure, "Opens an .art sprite as layers",
      "Opens an .art sprite as an indexed image with one layer per frame, named \"Picture P "
      "Frame F\", in one of its palettes. The image keeps the file, so that "
      "file-vostrel-art-save can write it back.",
      "The vostrel developers", "The vostrel developers", "2026", "vostrel .art sprite", nullptr,
      GIMP_PLUGIN, G_N_ELEMENTS(loadArgs), G_N_ELEMENTS(loadReturns), loadArgs, loadReturns);
  gimp_register_file_handler_mime(kLoadProcedure, "image/x-vostrel-art");
  gimp_register_load_handler(kLoadProcedure, kExtension, "");

  gimp_install_procedure(
      kSaveProcedure, "Saves the layers of an image opened from an .art sprite back into one",
      "Writes the .art file the image was opened from with its changed layers and colour map: "
      "unchanged frames are copied byte for byte, changed layers replace their frames, the "
      "colour map replaces the palette the image was opened in. Layers named for another table "
      "of frames (\"Picture P Frame F\"), or an image not opened from an .art file, make a new "
      "file, the colour map its palette.",
      "The vostrel developers", "The vostrel developers", "2026", "vostrel .art sprite",
      "RGB*, GRAY*, INDEXED*", GIMP_PLUGIN, G_N_ELEMENTS(saveArgs), 0, saveArgs, nullptr);
  gimp_register_file_handler_mime(kSaveProcedure, "image/x-vostrel-art");
  gimp_register_save_handler(kSaveProcedure, kExtension, "");
}

void Run(const gchar* name, gint paramCount, const GimpParam* params, gint* count,
         GimpParam** values) {
  gegl_init(nullptr, nullptr);
  try {
    if (std::strcmp(name, kLoadProcedure) == 0 && paramCount >= 3) {
      Load(params, paramCount, count, values);
    } else if (std::strcmp(name, kSaveProcedure) == 0 && paramCount >= 5) {
      Save(params, count, values);
    } else {
      Finish(count, values, GIMP_PDB_CALLING_ERROR);
    }
  } catch (const std::bad_alloc&) {
    Fail(count, values, "out of memory");
  } catch (const std::exception& error) {
    Fail(count, values, std::string("unexpected error: ") + error.what());
  }
}

}  // namespace

extern "C" {
static void query() { Query(); }
static void run(const gchar* name, gint paramCount, const GimpParam* params, gint* count,
                GimpParam** values) {
  Run(name, paramCount, params, count, values);
}
}

const GimpPlugInInfo PLUG_IN_INFO = {nullptr, nullptr, query, run};

MAIN()
