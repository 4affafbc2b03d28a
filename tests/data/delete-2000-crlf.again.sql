use [sales]
go
/****** object:  storedprocedure [dbo].[sp_msdel_regions]    script date: 2021-07-10 1:50:50 pm ******/
set ansi_nulls on
go
set quoted_identifier on
go
/****** object:  storedprocedure [dbo].[ sp_msdel_regions ] ******/
 
if object_id('dbo.[sp_msdel_regions]') is not null 
	drop procedure dbo.[sp_msdel_regions]
go
---------------------------
/****** Object:  StoredProcedure [dbo].[ sp_msdel_regions ] ******/
 
IF object_id('dbo.[sp_msdel_regions]') IS NOT NULL 
	DROP PROCEDURE dbo.[sp_msdel_regions]
GO
---------------------------
create procedure [dbo].[sp_msdel_regions] @pkc1 int
as
delete "regions"
where "regionid" = @pkc1
/*-d- /*-D- if @@rowcount = 0
	if @@microsoftversion>0x07320000
		exec sp_msreplraiserror 20598 -D-*/
 
  -d-*/
 
 
go
