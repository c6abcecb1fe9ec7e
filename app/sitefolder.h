#pragma once

#include <QString>

// The folder the host works in. A build tree's host uses the site the build laid out beside it;
// an installed host uses a per-user folder, laid out from the calibration-root template that
// the installation keeps below share/, so nothing is written below the install prefix.

// The installed calibration-root template (reference tools and pose data), or empty when the
// host runs from a build tree.
QString installedSiteTemplate();

// The site a host works in without --site: the per-user data folder when a template is
// installed, else the build's site folder.
QString defaultSiteFolder(const QString& siteTemplate);

// Lays the template out as the site's calibration root: copies every file that is missing, and
// every program that differs from the template's (an upgraded installation's tools), atomically;
// data files already there are kept. False with a message on failure.
bool prepareSiteFolder(const QString& site, const QString& siteTemplate, QString* error);
