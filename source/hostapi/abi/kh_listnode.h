/* Family 16: list nodes (objects, tags, shaders): the parameter container of a
 * node and freeing a node. Family 39: member operations on nodes: tree
 * neighbours, messages, names, bits and insertion. [thread-safe] for reads
 * during evaluation; structural changes [main-thread]. */
#ifndef KH_LISTNODE_H
#define KH_LISTNODE_H
#include "kh_types.h"
#ifdef __cplusplus
extern "C" {
#endif

typedef struct KhListNodeFamily {
  /* The node's own parameter container; writes persist. Never null for a live
   * node. */
  KhContainerValue*(KH_CALL* get_container)(KhNode* node);
  /* Frees a node that the caller owns (not inserted anywhere). */
  void(KH_CALL* free)(KhNode* node);
  /* The node's type ID (5100 polygon, 5101 spline, 5140 null, a plug-in ID...). */
  int32_t(KH_CALL* get_type)(const KhNode* node);
  /* The document the node is in, or null. */
  KhDocument*(KH_CALL* get_document)(KhNode* node);
} KhListNodeFamily;

typedef struct KhNodeMemberFamily {
  KhNode*(KH_CALL* get_next)(KhNode* node);
  KhNode*(KH_CALL* get_pred)(KhNode* node);
  KhNode*(KH_CALL* get_down)(KhNode* node);
  KhNode*(KH_CALL* get_up)(KhNode* node);
  /* Sends a message to the node (and its plug-in). Answers its truth value. */
  int32_t(KH_CALL* message)(KhNode* node, int32_t type, void* data);
  /* Initialises `out` with the node's name. */
  void(KH_CALL* get_name)(KhNode* node, KhStringValue* out);
  void(KH_CALL* set_name)(KhNode* node, const KhStringValue* name);
  int32_t(KH_CALL* get_bit)(KhNode* node, int32_t mask);
  void(KH_CALL* set_bit)(KhNode* node, int32_t mask, int32_t on);
  /* Inserts a free node as the last child of `parent`; ownership passes. */
  void(KH_CALL* insert_under_last)(KhNode* node, KhNode* parent);
  /* Takes the node out of its tree; the caller then owns it. */
  void(KH_CALL* remove)(KhNode* node);
} KhNodeMemberFamily;

#ifdef __cplusplus
}
#endif
#endif
