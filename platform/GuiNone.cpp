// Keeps the GUI platform library non-empty before its first real source lands.
namespace ov::gui_detail {
int placeholder = 0;
}
