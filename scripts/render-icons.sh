#!/usr/bin/env bash
# Renders the programs' icons from their SVG drawings into the PNG files the builds compile in
# (Qt's SVG module is not among the build's dependencies). Run it after changing a drawing; it
# needs rsvg-convert (Debian's librsvg2-bin), which the build itself does not.
set -euo pipefail
cd "$(dirname "$0")/.."
render() { rsvg-convert -w "$3" -h "$3" "$1" -o "$2"; }
render packaging/tamrix.svg control_panel/icons/128-32.png 32
render packaging/tamrix.svg control_panel/icons/128-48.png 48
render packaging/tamrix.svg control_panel/icons/135-16.png 16
render setup/icons/setup.svg setup/icons/128-32.png 32
render setup/icons/setup.svg setup/icons/128-16.png 16
