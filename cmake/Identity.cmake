# SPDX-License-Identifier: MIT
# The program's own identity: its version texts (from project(VERSION)), names, addresses and
# hosts shown in the window, the about box and the report, all in the generated Identity.h. Packagers set them at configure time, e.g.
#   cmake -DQUILLON_MAKER_NAME="Jane Doe" -DQUILLON_SERVICE_HOST=imei.example.net ...
# The defaults are placeholders under the reserved documentation domains.
set(QUILLON_MAKER_NAME "The Quillon developers" CACHE STRING "Maker's name (about box, report)")
set(QUILLON_MAKER_EMAIL "quillon@example.org" CACHE STRING "Maker's e-mail address")
set(QUILLON_MAKER_SOCIAL "@quillon-example" CACHE STRING "Maker's social handle")
set(QUILLON_DONATION_ADDRESS "PLACEHOLDER-NOT-A-REAL-ADDRESS" CACHE STRING "Maker's donation address")
set(QUILLON_MAKER_HOST "quillon.example.org" CACHE STRING "Host of the maker's home page")
set(QUILLON_SERVICE_HOST "imei-service.example.com" CACHE STRING "Host of the device database service")
set(QUILLON_MAKER_SITE_CAPTION "quillon.example.org" CACHE STRING "Caption of the maker's link")
set(QUILLON_SERVICE_SITE_CAPTION "imei-service.example.com" CACHE STRING "Caption of the database service's link")
# The desktop's reverse-DNS id of the window program (AppStream metainfo), by default from the last
# two labels of the maker's host: quillon.example.org gives org.example.Quillon.
string(REGEX REPLACE ":.*$" "" QUILLON_APP_ID_HOST "${QUILLON_MAKER_HOST}")
string(REPLACE "." ";" QUILLON_APP_ID_LABELS "${QUILLON_APP_ID_HOST}")
list(REVERSE QUILLON_APP_ID_LABELS)
list(SUBLIST QUILLON_APP_ID_LABELS 0 2 QUILLON_APP_ID_LABELS)
list(JOIN QUILLON_APP_ID_LABELS "." QUILLON_APP_ID_DOMAIN)
set(QUILLON_APP_ID "${QUILLON_APP_ID_DOMAIN}.Quillon" CACHE STRING "Reverse-DNS id of the window program")
# The version's digits without points (2.1.2.5 gives 2125), compared with the published number.
string(REPLACE "." "" QUILLON_VERSION_DIGITS "${PROJECT_VERSION}")
