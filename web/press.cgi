#!/bin/sh
# POST ?key=1..7&hold=MS: presses the panel's keys as the key device would.
exec "${NIVO_PANEL_SVG:-nivo-panel-svg}" --cgi press
