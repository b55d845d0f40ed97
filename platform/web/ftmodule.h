// FreeType's modules in the page: what renders the platform's TrueType
// fonts as on Linux (the TrueType driver with its tables, the auto-hinter
// FreeType uses for fonts without instructions, and the two rasterisers, in
// FreeType's own order). Bitmap fonts are read by our own code; the page
// has no PostScript, CFF or compressed fonts, so their drivers stay out of it.
FT_USE_MODULE(FT_Module_Class, autofit_module_class)
FT_USE_MODULE(FT_Driver_ClassRec, tt_driver_class)
FT_USE_MODULE(FT_Module_Class, sfnt_module_class)
FT_USE_MODULE(FT_Renderer_Class, ft_smooth_renderer_class)
FT_USE_MODULE(FT_Renderer_Class, ft_raster1_renderer_class)
