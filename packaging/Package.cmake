# The Debian package (cpack, or the "package" target): everything the install rules put under the
# prefix, stripped, with the library dependencies found by dpkg-shlibdeps. No maintainer scripts:
# the desktop's own triggers (desktop-file-utils, hicolor-icon-theme, shared-mime-info) refresh
# their caches, and the user's actions and preferences live in the home folder, which installing,
# upgrading and removing never touch.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VENDOR "Orvane developers")
set(CPACK_PACKAGE_CONTACT "${ORVANE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "your own actions in the file manager's right-click menu")
set(CPACK_PACKAGE_DESCRIPTION "Orvane adds the actions you choose to the right-click menu of files and
folders: move or copy to a folder, open with an application, a new file from
a template, a password-protected zip archive, image conversion, secure
delete, e-mail, or a shell script run on the selection.
.
The package holds the settings application (orvane), the action runner, the
Nautilus extension module and orvane-menu, which prints the menu for other
file managers and scripts.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
# What the libraries do not say: content types, the session bus that starts the runner, the icon
# theme. Nautilus is where the menu shows, but orvane-menu serves other file managers without it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "shared-mime-info, hicolor-icon-theme, default-dbus-session-bus | dbus-session-bus")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "nautilus")
# The built-in scripts copy to the clipboard with one of these; the Python template wants python3.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wl-clipboard | xclip, python3")
# The session's autostart entry is the one file under /etc: a configuration file the admin may
# change, so an upgrade keeps their edit.
set(ORVANE_CONFFILES ${PROJECT_BINARY_DIR}/packaging/conffiles)
file(WRITE ${ORVANE_CONFFILES} "/etc/xdg/autostart/app.orvane.Orvane.menu-export.desktop\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${ORVANE_CONFFILES})
include(CPack)
