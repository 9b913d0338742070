/* Registration records: what a module hands the host for each plug-in.
 * A record is zero-filled first, so every operation the plug-in does not offer
 * is null, and travels with its size. Entries take the plug-in's data object
 * (made by `alloc`) first, then the host node. The host copies the record.
 * Every entry is noexcept on the module's side: a failure answers the entry's
 * failure value (false, null, or the documented code). */
#ifndef KH_PLUGIN_H
#define KH_PLUGIN_H
#include "kh_types.h"
#ifdef __cplusplus
extern "C" {
#endif

typedef struct KhNodePlugin {
  int32_t info;
  /* Runs the data object's destructor; the host then frees its memory with
   * the general family's `free`. Null is ignored. */
  void(KH_CALL* destructor)(KhNodeData* data);
  /* A new data object from the general family's `alloc`, or null. */
  KhNodeData*(KH_CALL* alloc)(void);
  KhBitmap* icon; /* copied by the host at registration; may be null */
  int32_t disklevel;
  void* userdata;

  int32_t(KH_CALL* init)(KhNodeData* d, KhNode* node);
  void(KH_CALL* free)(KhNodeData* d, KhNode* node);
  int32_t(KH_CALL* read)(KhNodeData* d, KhNode* node, void* hf, int32_t level);
  int32_t(KH_CALL* write)(KhNodeData* d, KhNode* node, void* hf);
  int32_t(KH_CALL* message)(KhNodeData* d, KhNode* node, int32_t type, void* data);
  int32_t(KH_CALL* copy_to)(KhNodeData* d, KhNodeData* dest, KhNode* snode, KhNode* dnode,
                            int32_t flags, KhAliasTrans* trn);
  void(KH_CALL* get_bubble_help)(KhNodeData* d, KhNode* node, KhStringValue* str);
  KhDocument*(KH_CALL* get_document)(KhNodeData* d, KhNode* node);
  int32_t(KH_CALL* get_branch_info_ex)(KhNodeData* d, KhNode* node, void* info, int32_t max,
                                       int32_t flags);
  int32_t(KH_CALL* get_branch_info)(KhNodeData* d, KhNode* node, void* info, int32_t max);
  int32_t(KH_CALL* is_instance_of)(KhNodeData* d, const KhNode* node, int32_t type);
  int32_t(KH_CALL* get_d_description)(KhNodeData* d, KhNode* node, void* description,
                                      int32_t* flags);
  int32_t(KH_CALL* get_d_parameter)(KhNodeData* d, KhNode* node, const KhDescID* id,
                                    KhDataValue* t_data, int32_t* flags);
  /* True when the description element `id` is to be shown enabled. */
  int32_t(KH_CALL* get_d_enabling)(KhNodeData* d, KhNode* node, const KhDescID* id,
                                   const KhDataValue* t_data, int32_t flags,
                                   const KhContainerValue* itemdesc);
  int32_t(KH_CALL* set_d_parameter)(KhNodeData* d, KhNode* node, const KhDescID* id,
                                    const KhDataValue* t_data, int32_t* flags);
  int32_t(KH_CALL* translate_desc_id)(KhNodeData* d, KhNode* node, const KhDescID* id,
                                      KhDescID* res_id, KhNode** res_at);
  int32_t(KH_CALL* is_document_related)(KhNodeData* d, const KhNode* node, int32_t* docrelated);
} KhNodePlugin;

/* Object record (type 8). modify_object only with info bit 0 (1),
 * get_virtual_objects only with bit 2 (4), get_contour only with bit 7 (0x80),
 * modify_particles only with bit 5 (0x20); the rest always. */
typedef struct KhObjectPlugin {
  KhNodePlugin node;
  KhBitmap* icon;
  void(KH_CALL* get_dimension)(KhNodeData* d, KhObject* op, KhVector* mp, KhVector* rad);
  int32_t(KH_CALL* draw)(KhNodeData* d, KhObject* op, int32_t pass, KhDraw* bd, KhDrawHelp* bh);
  int32_t(KH_CALL* detect_handle)(KhNodeData* d, KhObject* op, KhDraw* bd, int32_t x, int32_t y,
                                  int32_t qualifier);
  int32_t(KH_CALL* move_handle)(KhNodeData* d, KhObject* op, KhObject* undo, const KhMatrix* tm,
                                int32_t hit_id, int32_t qualifier);
  int32_t(KH_CALL* add_to_execution)(KhNodeData* d, KhObject* op, void* list);
  int32_t(KH_CALL* execute)(KhNodeData* d, KhObject* op, KhDocument* doc, KhThread* bt,
                            int32_t priority, int32_t flags);
  void(KH_CALL* get_modeling_axis)(KhNodeData* d, KhObject* op, KhDocument* doc, KhMatrix* axis);
  void(KH_CALL* check_dirty)(KhNodeData* d, KhObject* op, KhDocument* doc);
  int32_t(KH_CALL* modify_object)(KhNodeData* d, KhObject* mod, KhDocument* doc, KhObject* op,
                                  const KhMatrix* op_mg, const KhMatrix* mod_mg, float lod,
                                  int32_t flags, KhThread* thread);
  KhObject*(KH_CALL* get_virtual_objects)(KhNodeData* d, KhObject* op, KhHierarchyHelp* hh);
  KhObject*(KH_CALL* get_contour)(KhNodeData* d, KhObject* op, KhDocument* doc, float lod,
                                  KhThread* bt);
  void(KH_CALL* modify_particles)(KhNodeData* d, KhObject* op, void* particles, void* bs,
                                  void* ss, int32_t pcnt, float diff);
} KhObjectPlugin;

/* Shader record (type 2). */
typedef struct KhShaderPlugin {
  KhNodePlugin node;
  int32_t(KH_CALL* draw)(KhNodeData* d, KhNode* sh, KhObject* op, int32_t pass, KhDraw* bd);
  int32_t(KH_CALL* get_render_info)(KhNodeData* d, KhNode* sh);
  /* 0 on success, a negative code on failure (-100: the shader cannot render). */
  int32_t(KH_CALL* init_render)(KhNodeData* d, KhNode* sh, void* irs);
  void(KH_CALL* free_render)(KhNodeData* d, KhNode* sh);
  /* Colour of one sample; [thread-safe] between init_render and free_render. */
  void(KH_CALL* output)(KhNodeData* d, KhNode* sh, KhChannelData* cd, KhVector* out);
  int32_t(KH_CALL* gl_message)(KhNodeData* d, KhNode* sh, int32_t type, void* data);
  int32_t(KH_CALL* init_gl_image)(KhNodeData* d, KhNode* sh, void* mat, KhDocument* doc,
                                  int32_t channel, void* bmp);
} KhShaderPlugin;

/* Tag record (type 10). */
typedef struct KhTagPlugin {
  KhNodePlugin node;
  int32_t(KH_CALL* draw)(KhNodeData* d, KhNode* tag, KhObject* op, KhDraw* bd, KhDrawHelp* bh);
  int32_t(KH_CALL* execute)(KhNodeData* d, KhNode* tag, KhDocument* doc, KhObject* op,
                            KhThread* bt, int32_t priority, int32_t flags);
  int32_t(KH_CALL* add_to_execution)(KhNodeData* d, KhNode* tag, void* list);
} KhTagPlugin;

/* Custom GUI record (type 27). `data` is the module's custom GUI object, owned
 * by the host from registration on and destroyed through `destructor`. */
typedef struct KhCustomGuiData KhCustomGuiData;
typedef struct KhCustomGuiPlugin {
  int32_t info;
  void(KH_CALL* destructor)(KhCustomGuiData* data);
  KhCustomGuiData* data;
  /* Creates one element for `settings`; its host dialog, or null. */
  KhDialog*(KH_CALL* alloc)(KhCustomGuiData* data, const KhContainerValue* settings);
  /* Destroys an element; `userdata` is the dialog's user object. */
  void(KH_CALL* free)(KhCustomGuiData* data, KhDialog* dialog, void* userdata);
  /* The resource symbol that descriptions use to name this GUI (UTF-8, static). */
  const char*(KH_CALL* get_resource_sym)(KhCustomGuiData* data);
  void*(KH_CALL* get_properties)(KhCustomGuiData* data);
  /* Points *table at the data types this GUI shows; answers their count. */
  int32_t(KH_CALL* get_resource_data_type)(KhCustomGuiData* data, const int32_t** table);
} KhCustomGuiPlugin;

#ifdef __cplusplus
}
#endif
#endif
