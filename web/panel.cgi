#!/bin/sh
# The panel as the mirror file shows it: JSON with the text lines, the lit parts
# and the SVG picture; ?since=ID&wait=MS answers at the next change.
exec "${NIVO_PANEL_SVG:-nivo-panel-svg}" --cgi picture
