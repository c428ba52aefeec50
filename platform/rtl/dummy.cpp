int folio_dummy_rtl = 0;
